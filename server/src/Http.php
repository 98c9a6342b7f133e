<?php

declare(strict_types=1);

namespace Quorvel\Server;

/** Small helpers for the front controllers: bounded request bodies and answers. */
final class Http
{
    /**
     * The raw request body, or null when it is larger than $limit bytes (judged by the declared
     * length first, then by what is actually read).
     */
    public static function body(int $limit): ?string
    {
        $declared = $_SERVER['CONTENT_LENGTH'] ?? '';
        if ($declared !== '' && (int)$declared > $limit) {
            return null;
        }
        $stream = fopen('php://input', 'rb');
        if ($stream === false) {
            return '';
        }
        $body = stream_get_contents($stream, $limit + 1);
        fclose($stream);
        if ($body === false) {
            return '';
        }
        return strlen($body) > $limit ? null : $body;
    }

    /** A form-encoded body as name/value pairs, in order, names repeated as they come. @return list<array{0:string,1:string}> */
    public static function formPairs(string $body): array
    {
        $pairs = [];
        if ($body === '') {
            return $pairs;
        }
        foreach (explode('&', $body) as $part) {
            if ($part === '') {
                continue;
            }
            $eq = strpos($part, '=');
            $name = $eq === false ? $part : substr($part, 0, $eq);
            $value = $eq === false ? '' : substr($part, $eq + 1);
            $pairs[] = [urldecode($name), urldecode($value)];
        }
        return $pairs;
    }

    /** The first value of a form field, or ''. @param list<array{0:string,1:string}> $pairs */
    public static function field(array $pairs, string $name): string
    {
        foreach ($pairs as [$n, $v]) {
            if ($n === $name) {
                return $v;
            }
        }
        return '';
    }

    public static function clientAddress(Config $config): string
    {
        $header = $config->get('client_address_header');
        $address = '';
        if (is_string($header) && isset($_SERVER[$header])) {
            // The proxy appends the address it saw; whatever stands before it, the client wrote.
            $list = explode(',', (string)$_SERVER[$header]);
            $address = trim(end($list));
        }
        if ($address === '') {
            $address = (string)($_SERVER['REMOTE_ADDR'] ?? 'cli');
        }
        return substr($address, 0, 64);
    }

    /**
     * How long the request waited for a PHP worker: from QUORVEL_QUEUED_AT, the time (seconds
     * since the epoch, as nginx's $msec) when the web server handed it on. Null without it.
     */
    public static function queuedSeconds(?float $now = null): ?float
    {
        $since = $_SERVER['QUORVEL_QUEUED_AT'] ?? null;
        if (!is_string($since) || !is_numeric($since)) {
            return null;
        }
        return max(0.0, ($now ?? microtime(true)) - (float)$since);
    }

    /**
     * Starts the answer of an endpoint that takes form-encoded POSTs: sends its headers and
     * gives the request's name/value pairs, or null when the request was answered already
     * (405 for another method, 413 for a body over the configured limit).
     *
     * @return list<array{0:string,1:string}>|null
     */
    public static function formPost(Config $config, string $contentType, string $limitKey): ?array
    {
        self::noCache();
        header("Content-Type: $contentType");
        if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'POST') {
            http_response_code(405);
            header('Allow: POST');
            return null;
        }
        $body = self::body((int)$config->get($limitKey));
        if ($body === null) {
            http_response_code(413);
            return null;
        }
        return self::formPairs($body);
    }

    public static function noCache(): void
    {
        header('Cache-Control: no-store');
        header('X-Content-Type-Options: nosniff');
    }
}
