<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The rules for polls that wait in a PHP worker: each user has at most one waiting (a newer poll
 * of the same user ends the older one; the real client never runs two), one address has at most
 * `held_polls_per_address` waiting, and a poll whose client has gone stops waiting. Each waiting
 * poll occupies a worker (and a database connection on PostgreSQL and MySQL), so without these
 * one customer could occupy them all.
 */
final class HeldPolls
{
    /** How often a waiting poll checks that its client is still there. */
    public const PROBE_SECONDS = 1.0;

    public function __construct(private Database $db, private Config $config, private Messages $messages)
    {
    }

    /**
     * Waits up to $seconds for the user's next message above $index, as Messages::wait does.
     * Gives the message, or null when the time ran out, a newer poll took over, the client went
     * away, or $address has its share of waiting polls already (then at once; $waited tells).
     *
     * @return array<string,mixed>|null
     */
    public function wait(int $userId, int $index, float $seconds, string $address, ?ClientLine $line, ?bool &$waited = null): ?array
    {
        $waited = false;
        $token = $this->begin($userId, AddressGroup::of($address), $seconds);
        if ($token === null) {
            return null;
        }
        $waited = true;
        $nextProbe = self::clock() + self::PROBE_SECONDS;
        $keepWaiting = function () use ($userId, $token, $line, &$nextProbe): bool {
            if ($this->db->value('SELECT held_token FROM users WHERE id = ?', [$userId]) !== $token) {
                return false;
            }
            if ($line !== null && self::clock() >= $nextProbe) {
                $nextProbe = self::clock() + self::PROBE_SECONDS;
                return $line->alive();
            }
            return true;
        };
        try {
            return $this->messages->wait($userId, $index, $seconds, (int)$this->config->get('poll_check_ms'), 1.0, $keepWaiting);
        } finally {
            $this->end($userId, $token);
        }
    }

    /** Takes the user's place for a waiting poll; null when the address has its share already. */
    private function begin(int $userId, string $address, float $seconds): ?string
    {
        $token = bin2hex(random_bytes(16));
        $now = time();
        // Entries outlive their poll only when its worker was killed: they expire after the hold.
        $this->db->run(
            'UPDATE users SET held_token = ?, held_address = ?, held_until = ? WHERE id = ?',
            [$token, $address, $now + (int)ceil($seconds) + 5, $userId]
        );
        if ($this->db->driver === 'pgsql') {
            // An older poll of this user sleeps on LISTEN: wake it, so that it sees it is replaced.
            $this->db->run('SELECT pg_notify(?, ?)', [Messages::CHANNEL, (string)$userId]);
        }
        $limit = (int)$this->config->get('held_polls_per_address');
        if ($limit > 0) {
            // Counted after taking the place: two polls that arrive together may both give way,
            // but never both stay beyond the limit.
            $count = (int)$this->db->value('SELECT COUNT(*) FROM users WHERE held_address = ? AND held_until > ?', [$address, $now]);
            if ($count > $limit) {
                $this->end($userId, $token);
                return null;
            }
        }
        return $token;
    }

    private function end(int $userId, string $token): void
    {
        $this->db->run('UPDATE users SET held_token = NULL, held_address = NULL, held_until = 0 WHERE id = ? AND held_token = ?', [$userId, $token]);
    }

    private static function clock(): float
    {
        return hrtime(true) / 1e9;
    }
}
