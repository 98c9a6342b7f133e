<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Failed log-ins, counted per user name and per address within a window, and the addresses from
 * which each user logged in with the right password. Guessing stays expensive for a name and for
 * an address, while the user at a known address is not locked out by what others did.
 */
final class LoginThrottle
{
    public function __construct(private Database $db, private Config $config)
    {
    }

    /**
     * Seconds until fewer than $limit failures that match $where (column => value: a user name's
     * key, an address) are within the window; 0 when fewer are already or $limit is 0.
     *
     * @param array<string,string> $where
     */
    public function lockedFor(array $where, int $limit): int
    {
        if ($limit <= 0) {
            return 0;
        }
        $window = (int)$this->config->get('throttle_window_seconds');
        $since = time() - $window;
        $conditions = implode(' AND ', array_map(static fn(string $column): string => "$column = ?", array_keys($where)));
        // The failure that still counts towards the limit and leaves the window first.
        $pivot = $this->db->value(
            "SELECT created_at FROM failed_logins WHERE $conditions AND created_at > ? ORDER BY created_at DESC LIMIT 1 OFFSET " . ($limit - 1),
            [...array_values($where), $since]
        );
        return $pivot === null ? 0 : max(0, (int)$pivot + $window - time());
    }

    /** Records one failure; failures that have left the window go at the same time. */
    public function recordFailure(string $nameKey, string $address): void
    {
        $now = time();
        $this->db->run('INSERT INTO failed_logins (user_name, address, created_at) VALUES (?, ?, ?)', [$nameKey, $address, $now]);
        $this->db->run('DELETE FROM failed_logins WHERE created_at <= ?', [$now - (int)$this->config->get('throttle_window_seconds')]);
    }

    /** Whether the user logged in from $address with the right password within the last days. */
    public function isKnown(int $userId, string $address): bool
    {
        return $this->db->value(
            'SELECT 1 FROM known_addresses WHERE user_id = ? AND address = ? AND last_login_at > ?',
            [$userId, $address, time() - $this->knownSeconds()]
        ) !== null;
    }

    public function rememberAddress(int $userId, string $address): void
    {
        $now = time();
        $updated = $this->db->run('UPDATE known_addresses SET last_login_at = ? WHERE user_id = ? AND address = ?', [$now, $userId, $address])->rowCount();
        if ($updated === 0) {
            try {
                $this->db->run('INSERT INTO known_addresses (user_id, address, last_login_at) VALUES (?, ?, ?)', [$userId, $address, $now]);
            } catch (\PDOException $e) {
                // Another request inserted it meanwhile (MySQL also counts an unchanged row as 0).
                if (!str_starts_with((string)$e->getCode(), '23')) {
                    throw $e;
                }
            }
        }
        $this->db->run('DELETE FROM known_addresses WHERE last_login_at <= ?', [$now - $this->knownSeconds()]);
    }

    /** Forgets the addresses of a user (its password changed, say). */
    public function forget(int $userId): void
    {
        $this->db->run('DELETE FROM known_addresses WHERE user_id = ?', [$userId]);
    }

    /** Forgets failed log-ins older than the window and addresses not used for long. */
    public function prune(): int
    {
        $this->db->run('DELETE FROM known_addresses WHERE last_login_at <= ?', [time() - $this->knownSeconds()]);
        return $this->db->run('DELETE FROM failed_logins WHERE created_at <= ?', [time() - (int)$this->config->get('throttle_window_seconds')])->rowCount();
    }

    private function knownSeconds(): int
    {
        return max(0, (int)$this->config->get('known_address_days')) * 86400;
    }
}
