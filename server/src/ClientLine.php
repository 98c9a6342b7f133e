<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The client's end of a held poll. PHP learns that a client has gone only when it writes to it,
 * so a held poll writes now and then: first the width digit 9 of the answer to come, then pairs
 * of empty strings, which the client's reader skips (it looks names up, and no name is empty).
 * The answer itself then follows with length fields nine digits wide.
 */
final class ClientLine
{
    /** A length field of 0 for the name and one for the value: a pair that names nothing. */
    private const EMPTY_PAIR = '000000000000000000';

    private bool $opened = false;

    /** @param \Closure(string):bool $send writes bytes to the client at once; false once it has gone */
    public function __construct(private \Closure $send)
    {
    }

    /** Writes to the script's output, as poll.php answers. */
    public static function toOutput(): self
    {
        // Prepared at the first write only: a poll that is handed on to the web server must be
        // able to send its headers until then.
        $prepared = false;
        return new self(static function (string $bytes) use (&$prepared): bool {
            if (!$prepared) {
                // Bytes must leave at once, not wait in an output buffer.
                while (ob_get_level() > 0) {
                    ob_end_flush();
                }
                ignore_user_abort(true);
                $prepared = true;
            }
            echo $bytes;
            flush();
            return connection_status() === CONNECTION_NORMAL;
        });
    }

    /** Sends bytes that do not change the answer; false when the client has gone. */
    public function alive(): bool
    {
        $bytes = $this->opened ? self::EMPTY_PAIR : '9';
        $this->opened = true;
        return ($this->send)($bytes);
    }

    /** What is left to send of $answer, a field list, after what alive() has sent. */
    public function finish(string $answer): string
    {
        if (!$this->opened) {
            return $answer;
        }
        return substr(FieldList::encodeStrings(FieldList::decode($answer), 9), 1);
    }
}
