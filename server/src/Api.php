<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The site's JSON API (docs/server.md): post messages, read replies, manage users. Every call
 * carries "Authorization: Bearer TOKEN"; the configuration holds the token's sha256.
 */
final class Api
{
    public function __construct(
        private Config $config,
        private Accounts $accounts,
        private Messages $messages,
        private Replies $replies,
    ) {
    }

    public static function tokenHash(string $token): string
    {
        return hash('sha256', $token);
    }

    public function authorized(string $authorization): bool
    {
        return self::tokenAccepted($this->config, $authorization);
    }

    /** Whether the bearer token is right: needs the configuration only, not the database. */
    public static function tokenAccepted(Config $config, string $authorization): bool
    {
        $expected = $config->get('api_token_hash');
        if (!is_string($expected) || strlen($expected) !== 64) {
            return false;
        }
        if (!preg_match('/^Bearer\s+(\S+)\s*$/i', $authorization, $m)) {
            return false;
        }
        return hash_equals(strtolower($expected), self::tokenHash($m[1]));
    }

    /**
     * Handles one call. Gives [HTTP status, JSON-ready answer].
     *
     * @param array<string,string> $query
     * @return array{0:int,1:array<string,mixed>}
     */
    public function handle(string $method, string $path, array $query, ?string $body, string $authorization): array
    {
        if (!$this->authorized($authorization)) {
            return [401, ['error' => 'missing or wrong bearer token']];
        }
        if ($body === null) {
            return [413, ['error' => 'request body too large']];
        }
        $input = [];
        if ($method === 'POST') {
            $input = $body === '' ? [] : json_decode($body, true);
            if (!is_array($input)) {
                return [400, ['error' => 'the body must be a JSON object']];
            }
        }
        $path = '/' . trim($path, '/');
        try {
            if ($method === 'POST' && $path === '/messages') {
                return $this->postMessage($input);
            }
            if ($method === 'GET' && $path === '/replies') {
                $since = (int)($query['since'] ?? 0);
                $replies = $this->replies->since($since, (int)($query['limit'] ?? 100));
                $last = $replies ? end($replies)['id'] : $since;
                return [200, ['replies' => $replies, 'last_id' => $last]];
            }
            if ($method === 'GET' && $path === '/users') {
                return [200, ['users' => array_map(static fn(array $u): array => [
                    'name' => $u['name'], 'disabled' => (bool)$u['disabled'], 'last_index' => (int)$u['last_index'],
                    'acked_index' => (int)$u['acked_index'], 'last_poll_at' => (int)$u['last_poll_at'] ?: null,
                ], $this->accounts->all())]];
            }
            if ($method === 'POST' && $path === '/users') {
                $this->accounts->create(self::text($input, 'name'), self::text($input, 'password'));
                return [201, ['created' => self::text($input, 'name')]];
            }
            if ($method === 'POST' && preg_match('#^/users/([^/]+)/(disable|enable|password)$#', $path, $m)) {
                // The web server has decoded the path already; decoding again would let one name
                // stand for another.
                $name = $m[1];
                match ($m[2]) {
                    'disable' => $this->accounts->setDisabled($name, true),
                    'enable' => $this->accounts->setDisabled($name, false),
                    'password' => $this->accounts->setPassword($name, self::text($input, 'password')),
                };
                return [200, ['user' => $name, 'done' => $m[2]]];
            }
        } catch (\InvalidArgumentException $e) {
            return [400, ['error' => $e->getMessage()]];
        }
        return [404, ['error' => "no such call: $method $path"]];
    }

    /** @param array<string,mixed> $input @return array{0:int,1:array<string,mixed>} */
    private function postMessage(array $input): array
    {
        $to = $input['to'] ?? null;
        if ($to === '*' || $to === ['*']) {
            $names = null;
        } elseif (is_string($to) && $to !== '') {
            $names = [$to];
        } elseif (is_array($to) && $to !== [] && array_is_list($to) && count(array_filter($to, 'is_string')) === count($to)) {
            $names = $to;
        } else {
            return [400, ['error' => '"to" must be a user name, a list of user names or "*"']];
        }
        $title = self::text($input, 'title');
        $header = isset($input['header']) ? self::text($input, 'header') : $title;
        if (isset($input['html'])) {
            $html = self::text($input, 'html');
        } elseif (isset($input['text'])) {
            $html = Html::fromText($title, self::text($input, 'text'));
        } else {
            return [400, ['error' => 'give the message as "html" or as "text"']];
        }
        if ($names !== null && in_array('*', $names, true)) {
            return [400, ['error' => '"*" stands for every user and goes alone']];
        }
        try {
            $result = $this->messages->post($names, $title, $header, $html);
        } catch (\OverflowException $e) {
            return [409, ['error' => $e->getMessage()]];
        }
        if ($result['deliveries'] === 0 && $result['id'] === 0) {
            return [404, ['error' => 'no such enabled user', 'unknown' => $result['unknown']]];
        }
        return [201, $result];
    }

    /** @param array<string,mixed> $input */
    private static function text(array $input, string $key): string
    {
        $value = $input[$key] ?? null;
        if (!is_string($value)) {
            throw new \InvalidArgumentException("\"$key\" must be a string");
        }
        // Not every database stores a zero byte (PostgreSQL would cut the text short there).
        if (str_contains($value, "\0")) {
            throw new \InvalidArgumentException("\"$key\" must not contain zero bytes");
        }
        return $value;
    }
}
