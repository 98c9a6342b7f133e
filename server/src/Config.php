<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The configuration: a PHP file that returns an array (see config.example.php), merged over the
 * defaults below. The file is found in QUORVEL_CONFIG, or else server/config.php.
 */
final class Config
{
    public const DEFAULTS = [
        // PDO data source. SQLite by default, in server/var/ (outside the web root).
        'dsn' => null,
        'db_user' => null,
        'db_password' => null,
        // Long polling: how long poll.php holds a request when nothing is pending (seconds,
        // 0 turns it off), and how often it looks for a new message meanwhile (milliseconds;
        // PostgreSQL is woken by NOTIFY instead and looks this often only as a safety net).
        'long_poll_seconds' => 25,
        'poll_check_ms' => 100,
        // The most polls held at once in this machine's PHP workers; polls beyond it get the empty
        // answer at once (their clients poll again at their timer). Null: three quarters of the
        // pool (QUORVEL_POOL_SIZE from the PHP-FPM pool, or the built-in server's workers). The
        // slots are lock files in hold_lock_dir (null: "NAME.holds" beside an SQLite database
        // file, else a folder in the system's temporary folder).
        'max_held_polls' => null,
        // A poll that waited longer than this for a PHP worker (the web server tells when it
        // handed the poll on, in QUORVEL_QUEUED_AT) gets the empty answer at once, without a look
        // at the database: its client polls again at its timer, and the queue drains instead of
        // growing until clients give up (60 s). The hold of a poll that waited less is shortened
        // by its wait, so that its answer too comes within the client's 60 s. Not lower than
        // need be: a poll answered this way hands out no pending message.
        'poll_queue_seconds' => 30,
        'hold_lock_dir' => null,
        // Waiting polls handed on to nginx's pub/sub module (docs/server.md): the internal
        // location that holds them, and the address of the internal server that takes the
        // wake-ups, as a stream address ("unix:///run/quorvel-nchan.sock"). Both null: polls wait
        // in PHP.
        'nchan_hold_location' => null,
        'nchan_publish_address' => null,
        // Reuse the database connection across the requests of one PHP worker: a new PostgreSQL
        // or MySQL connection costs more than the poll itself, and on SQLite each post would
        // pay an fsync when no connection stays open.
        'db_persistent' => true,
        // Polls that may wait at once in PHP workers for clients at one address; beyond it a
        // poll is answered at once. 0: no limit. A user has at most one waiting. When nginx
        // holds the wait, its own per-address limit bounds them instead.
        'held_polls_per_address' => 20,
        // "Delay" sent with every message (seconds the client waits before its next timed poll);
        // 0 sends none.
        'delay' => 0,
        // sha256 hex of the API's bearer token; null disables the API.
        'api_token_hash' => null,
        // A random secret that keys the short-lived cache of verified passwords (so a client's
        // back-to-back polls do not each pay for password_verify). Null turns the cache off.
        'secret' => null,
        'credential_cache_seconds' => 600,
        // Failed log-ins within the window that lock a user name or an address out.
        'throttle_window_seconds' => 900,
        'throttle_user_limit' => 10,
        'throttle_address_limit' => 50,
        // An address where a user logged in with the right password within these days is not
        // locked out for that user by failures of others.
        'known_address_days' => 30,
        // Whether a disabled account whose password was right is told so; otherwise it gets the
        // same refusal as a wrong password.
        'tell_disabled' => false,
        // A header that carries the client's address behind a trusted reverse proxy, for example
        // 'HTTP_X_REAL_IP'; null uses REMOTE_ADDR.
        'client_address_header' => null,
        // Largest request bodies accepted, in bytes.
        'max_poll_body' => 8192,
        'max_reply_body' => 65536,
        'max_api_body' => 1048576,
        // The page a form reply is answered with (a PHP template), and an optional web hook that
        // receives each reply as JSON.
        'reply_template' => null,
        'reply_webhook' => null,
        'reply_webhook_timeout' => 5,
        // Texts of the refusals the client shows.
        'deny_text' => 'Unknown user name or wrong password.',
        'disabled_text' => 'This account has been disabled.',
        'throttled_text' => 'Too many failed log-ins. Please try again in %d minutes.',
        'reply_denied_text' => 'Your reply could not be accepted: unknown user name or wrong password.',
    ];

    /** @param array<string,mixed> $values */
    private function __construct(private array $values)
    {
    }

    /** @param array<string,mixed> $values */
    public static function fromArray(array $values): self
    {
        $merged = array_replace(self::DEFAULTS, $values);
        if ($merged['dsn'] === null) {
            $merged['dsn'] = 'sqlite:' . dirname(__DIR__) . '/var/quorvel.sqlite';
        }
        if ($merged['reply_template'] === null) {
            $merged['reply_template'] = dirname(__DIR__) . '/templates/reply.php';
        }
        $merged['long_poll_seconds'] = max(0, min(50, (int)$merged['long_poll_seconds']));
        $merged['poll_check_ms'] = max(10, min(1000, (int)$merged['poll_check_ms']));
        $merged['poll_queue_seconds'] = max(1, min(50, (int)$merged['poll_queue_seconds']));
        return new self($merged);
    }

    public static function load(?string $file = null): self
    {
        $file ??= getenv('QUORVEL_CONFIG') ?: dirname(__DIR__) . '/config.php';
        $values = [];
        if (is_file($file)) {
            $values = require $file;
            if (!is_array($values)) {
                throw new \RuntimeException("$file does not return an array");
            }
        }
        return self::fromArray($values);
    }

    public function get(string $key): mixed
    {
        if (!array_key_exists($key, $this->values)) {
            throw new \InvalidArgumentException("unknown configuration key $key");
        }
        return $this->values[$key];
    }

    /** @return array<string,mixed> */
    public function all(): array
    {
        return $this->values;
    }
}
