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

    private LoginThrottle $throttle;

    public function __construct(private Database $db, private Config $config)
    {
        $this->throttle = new LoginThrottle($db, $config);
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
        self::checkNewPassword($password);
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
        self::checkNewPassword($password);
        $changed = $this->db->run(
            'UPDATE users SET pass_hash = ?, pass_cache = NULL, pass_cache_until = 0 WHERE name = ?',
            [password_hash($password, PASSWORD_DEFAULT), $name]
        )->rowCount();
        if ($changed === 0) {
            throw new \InvalidArgumentException("no user $name");
        }
        // Whoever logged in with the old password is a stranger now.
        $this->throttle->forget((int)$this->find($name)['id']);
    }

    public function setDisabled(string $name, bool $disabled): void
    {
        $changed = $this->db->run('UPDATE users SET disabled = ?, pass_cache = NULL, pass_cache_until = 0 WHERE name = ?', [$disabled ? 1 : 0, $name])->rowCount();
        if ($changed === 0 && $this->find($name) === null) {
            throw new \InvalidArgumentException("no user $name");
        }
    }

    /**
     * Checks the credentials of a request. Gives [status, user row or null, seconds locked].
     *
     * Too many failures for the name or from the address lock them out, without checking the
     * password, except where the user logged in with the right password recently: the refusal
     * goes to the guessers, not to the user at its own machine. A client whose password was
     * verified a short while ago (the credential cache) also passes a lock of the name, until
     * the guesses at that name reach twice the limit.
     *
     * @return array{0:string,1:array<string,mixed>|null,2:int}
     */
    public function authenticate(string $name, string $password, string $address): array
    {
        $address = AddressGroup::of($address);
        $user = self::validName($name) ? $this->find($name) : null;
        $nameKey = self::failureKey($name);
        $userLimit = (int)$this->config->get('throttle_user_limit');
        $known = $user !== null && $this->throttle->isKnown((int)$user['id'], $address);
        if ($known) {
            // Only the guesses made from here count here.
            $locked = $this->throttle->lockedFor(['user_name' => $nameKey, 'address' => $address], $userLimit);
        } else {
            $locked = $this->throttle->lockedFor(['address' => $address], (int)$this->config->get('throttle_address_limit'));
            if ($locked > 0) {
                return [self::THROTTLED, null, $locked];
            }
            $locked = $this->throttle->lockedFor(['user_name' => $nameKey], $userLimit);
        }
        if ($user !== null && $this->cacheHolds($user) && ($locked === 0 || $this->throttle->lockedFor(['user_name' => $nameKey], 2 * $userLimit) === 0)) {
            if ($this->cachedPasswordMatches($user, $password)) {
                // A client that moved (home to the office) logs in here from the cache: the
                // address is as proven as after a full check, unless a lock of the name was
                // passed (that pass stays bounded by twice the limit). Written only when new.
                if (!$known && $locked === 0 && !(int)$user['disabled']) {
                    $this->throttle->rememberAddress((int)$user['id'], $address);
                }
                return $this->admitted($user);
            }
            if ($locked > 0) {
                // A checked guess: it counts.
                $this->throttle->recordFailure($nameKey, $address);
            }
        }
        if ($locked > 0) {
            return [self::THROTTLED, null, $locked];
        }
        $valid = self::usablePassword($password) && password_verify($password, $user['pass_hash'] ?? self::DUMMY_HASH) && $user !== null;
        if (!$valid) {
            $this->throttle->recordFailure($nameKey, $address);
            return [self::DENIED, null, 0];
        }
        if (!(int)$user['disabled']) {
            if (password_needs_rehash($user['pass_hash'], PASSWORD_DEFAULT)) {
                $this->db->run('UPDATE users SET pass_hash = ? WHERE id = ?', [password_hash($password, PASSWORD_DEFAULT), $user['id']]);
            }
            $this->rememberPassword($user, $password);
            $this->throttle->rememberAddress((int)$user['id'], $address);
        }
        return $this->admitted($user);
    }

    /**
     * OK, or for a disabled account (whose password was right) the refusal the site chose: the
     * same as for a wrong password unless `tell_disabled` is set.
     *
     * @param array<string,mixed> $user
     * @return array{0:string,1:array<string,mixed>|null,2:int}
     */
    private function admitted(array $user): array
    {
        if (!(int)$user['disabled']) {
            return [self::OK, $user, 0];
        }
        return $this->config->get('tell_disabled') ? [self::DISABLED, $user, 0] : [self::DENIED, null, 0];
    }

    /** Whether any account can have this password: none is empty or holds a zero byte. */
    public static function usablePassword(string $password): bool
    {
        return $password !== '' && !str_contains($password, "\0");
    }

    /**
     * bcrypt reads no further than 72 bytes, so a longer new password is refused rather than
     * silently cut short. (Accounts that got a longer one before still log in with it.)
     */
    private static function checkNewPassword(string $password): void
    {
        if (!self::usablePassword($password) || strlen($password) > 72) {
            throw new \InvalidArgumentException('the password must be 1 to 72 bytes without zero bytes');
        }
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

    /** Whether the user has a credential cache entry that has not run out. @param array<string,mixed> $user */
    private function cacheHolds(array $user): bool
    {
        return is_string($user['pass_cache']) && (int)$user['pass_cache_until'] >= time();
    }

    /** @param array<string,mixed> $user */
    private function cachedPasswordMatches(array $user, string $password): bool
    {
        $key = $this->cacheKey($user, $password);
        return $key !== null && $this->cacheHolds($user) && hash_equals($user['pass_cache'], $key);
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
        // An entry that has run out is of no use, and with the secret it would speed up guessing
        // at the password should the database leak: none is kept.
        $this->db->run('UPDATE users SET pass_cache = NULL, pass_cache_until = 0 WHERE pass_cache_until < ? AND pass_cache IS NOT NULL', [time()]);
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

    /** Forgets failed log-ins older than the window (and addresses not used for long). */
    public function pruneFailures(): int
    {
        return $this->throttle->prune();
    }
}
