<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Users, their passwords and the checking of the credentials that the client sends with every
 * poll and every form reply, with the throttling of failed log-ins.
 */
final class Accounts
{
    public const OK = 'ok';
    public const DENIED = 'denied';
    public const DISABLED = 'disabled';
    public const THROTTLED = 'throttled';

    /** A hash to verify against for unknown users, so that they cost the same time. */
    private const DUMMY_HASH = '$2y$10$SiIGpVbREw1msRtO1fH1MOJa5oTlxdijv.NGKQe.Qk8gfao8QC90C';

    public function __construct(private Database $db, private Config $config)
    {
    }

    public static function validName(string $name): bool
    {
        return $name !== '' && strlen($name) <= 190 && preg_match('//u', $name) === 1
            && !preg_match('/[\x00-\x1f\x7f]/', $name);
    }

    /**
     * Whether a new account may take this name. Besides what validName() asks: no "%" or "/"
     * (a name travels in the API's paths, which the web server has decoded already, so a name
     * that reads as an encoding of another would address that other), no "," (lists of names
     * on the command line) and no "*", which addresses everyone.
     */
    public static function assignableName(string $name): bool
    {
        return self::validName($name) && strpbrk($name, '%/*,') === false;
    }

    public function create(string $name, string $password): int
    {
        if (!self::assignableName($name)) {
            throw new \InvalidArgumentException('a user name must be 1 to 190 bytes of UTF-8 without control characters, "%", "/", "*" or ","');
        }
        if ($password === '') {
            throw new \InvalidArgumentException('the password must not be empty');
        }
        if ($this->find($name) !== null) {
            throw new \InvalidArgumentException("the user $name exists already");
        }
        $this->db->run(
            'INSERT INTO users (name, pass_hash, disabled, last_index, created_at) VALUES (?, ?, 0, 0, ?)',
            [$name, password_hash($password, PASSWORD_DEFAULT), time()]
        );
        return (int)$this->db->value('SELECT id FROM users WHERE name = ?', [$name]);
    }

    /** @return array<string,mixed>|null */
    public function find(string $name): ?array
    {
        return $this->db->row('SELECT * FROM users WHERE name = ?', [$name]);
    }

    /** @return list<array<string,mixed>> */
    public function all(): array
    {
        return $this->db->run('SELECT id, name, disabled, last_index, acked_index, last_poll_at, created_at FROM users ORDER BY name')->fetchAll();
    }

    public function setPassword(string $name, string $password): void
    {
        if ($password === '') {
            throw new \InvalidArgumentException('the password must not be empty');
        }
        $changed = $this->db->run(
            'UPDATE users SET pass_hash = ?, pass_cache = NULL, pass_cache_until = 0 WHERE name = ?',
            [password_hash($password, PASSWORD_DEFAULT), $name]
        )->rowCount();
        if ($changed === 0) {
            throw new \InvalidArgumentException("no user $name");
        }
    }

    public function setDisabled(string $name, bool $disabled): void
    {
        $changed = $this->db->run('UPDATE users SET disabled = ?, pass_cache = NULL, pass_cache_until = 0 WHERE name = ?', [$disabled ? 1 : 0, $name])->rowCount();
        if ($changed === 0 && $this->find($name) === null) {
            throw new \InvalidArgumentException("no user $name");
        }
    }

    /**
     * Seconds until the user name or the address may try again, or 0 when neither is locked out.
     */
    public function lockedFor(string $name, string $address): int
    {
        $name = self::failureKey($name);
        $window = (int)$this->config->get('throttle_window_seconds');
        $since = time() - $window;
        $checks = [
            ['user_name', $name, (int)$this->config->get('throttle_user_limit')],
            ['address', $address, (int)$this->config->get('throttle_address_limit')],
        ];
        $wait = 0;
        foreach ($checks as [$column, $value, $limit]) {
            if ($limit <= 0) {
                continue;
            }
            $count = (int)$this->db->value("SELECT COUNT(*) FROM failed_logins WHERE $column = ? AND created_at > ?", [$value, $since]);
            if ($count >= $limit) {
                // Locked until the oldest failure that still counts towards the limit leaves the window.
                $times = $this->db->run(
                    "SELECT created_at FROM failed_logins WHERE $column = ? AND created_at > ? ORDER BY created_at DESC",
                    [$value, $since]
                )->fetchAll(\PDO::FETCH_COLUMN);
                $pivot = (int)$times[$limit - 1];
                $wait = max($wait, $pivot + $window - time());
            }
        }
        return max(0, $wait);
    }

    /**
     * Checks the credentials of a request. Gives [status, user row or null, seconds locked].
     *
     * @return array{0:string,1:array<string,mixed>|null,2:int}
     */
    public function authenticate(string $name, string $password, string $address): array
    {
        $locked = $this->lockedFor($name, $address);
        if ($locked > 0) {
            return [self::THROTTLED, null, $locked];
        }
        $user = self::validName($name) ? $this->find($name) : null;
        if ($user !== null && $this->cachedPasswordMatches($user, $password)) {
            return [(int)$user['disabled'] ? self::DISABLED : self::OK, $user, 0];
        }
        $valid = password_verify($password, $user['pass_hash'] ?? self::DUMMY_HASH) && $user !== null;
        if (!$valid) {
            $this->db->run('INSERT INTO failed_logins (user_name, address, created_at) VALUES (?, ?, ?)', [self::failureKey($name), $address, time()]);
            return [self::DENIED, null, 0];
        }
        if ((int)$user['disabled']) {
            return [self::DISABLED, $user, 0];
        }
        if (password_needs_rehash($user['pass_hash'], PASSWORD_DEFAULT)) {
            $this->db->run('UPDATE users SET pass_hash = ? WHERE id = ?', [password_hash($password, PASSWORD_DEFAULT), $user['id']]);
        }
        $this->rememberPassword($user, $password);
        return [self::OK, $user, 0];
    }

    /**
     * A client polls back to back while messages are pending, so each poll would pay for a full
     * password_verify. After one succeeds, a keyed hash of the password (keyed with the
     * configured secret, which is not in the database) stands in for it for a short while.
     */
    private function cacheKey(array $user, string $password): ?string
    {
        $secret = $this->config->get('secret');
        if (!is_string($secret) || strlen($secret) < 16 || (int)$this->config->get('credential_cache_seconds') <= 0) {
            return null;
        }
        return hash_hmac('sha256', $user['id'] . "\0" . $user['pass_hash'] . "\0" . $password, $secret);
    }

    private function cachedPasswordMatches(array $user, string $password): bool
    {
        $key = $this->cacheKey($user, $password);
        return $key !== null && is_string($user['pass_cache']) && (int)$user['pass_cache_until'] >= time()
            && hash_equals($user['pass_cache'], $key);
    }

    private function rememberPassword(array $user, string $password): void
    {
        $key = $this->cacheKey($user, $password);
        if ($key !== null) {
            $this->db->run(
                'UPDATE users SET pass_cache = ?, pass_cache_until = ? WHERE id = ?',
                [$key, time() + (int)$this->config->get('credential_cache_seconds'), $user['id']]
            );
        }
    }

    /**
     * The messages the user's client holds by its own report (the Index of its last poll),
     * oldest first.
     *
     * @return list<array<string,mixed>>
     */
    public function received(string $name): array
    {
        $user = $this->find($name);
        if ($user === null) {
            throw new \InvalidArgumentException("no user $name");
        }
        return $this->db->run(
            'SELECT d.idx, m.id, m.title FROM deliveries d JOIN messages m ON m.id = d.message_id WHERE d.user_id = ? AND d.idx <= ? ORDER BY d.idx',
            [$user['id'], $user['acked_index']]
        )->fetchAll();
    }

    /** How a failed log-in records the name: as it is when it could be a user's, else a digest. */
    private static function failureKey(string $name): string
    {
        return self::validName($name) ? $name : 'invalid:' . substr(hash('sha256', $name), 0, 32);
    }

    /** Forgets failed log-ins older than the window. */
    public function pruneFailures(): int
    {
        return $this->db->run('DELETE FROM failed_logins WHERE created_at <= ?', [time() - (int)$this->config->get('throttle_window_seconds')])->rowCount();
    }
}
