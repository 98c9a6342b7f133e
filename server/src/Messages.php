<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Messages and their deliveries: posting a message to users, finding a user's next message
 * above the Index the client holds, and waiting for one (long polling).
 */
final class Messages
{
    public const CHANNEL = 'quorvel_delivery';
    /** The client reads an Index as a signed 32-bit integer. */
    public const MAX_INDEX = 2147483647;
    /**
     * Room for messages that a client's Index never takes from its user's counter: a client
     * that claims the highest Index there is would otherwise leave none for later messages.
     */
    public const CATCH_UP_HEADROOM = 1000000;
    /** Longest title and header in bytes: one line of the client's list and its caption. */
    public const MAX_LABEL = 1000;

    /**
     * @param (\Closure(\Closure():list<array{0:int,1:int}>, array{header:string,title:string,html:string}):mixed)|null $committed
     *        told, once a post has committed, how to look up the user id and Index of each
     *        delivery, and the message as stored (to wake waiting polls)
     */
    public function __construct(private Database $db, private ?\Closure $committed = null)
    {
    }

    /**
     * Posts one message to users: a list of names, or null for every enabled user. Each
     * recipient gets one delivery with the next Index of its own. Gives the message id and the
     * number of deliveries.
     *
     * @param list<string>|null $names
     * @return array{id:int,deliveries:int,unknown:list<string>}
     */
    public function post(?array $names, string $title, string $header, string $html): array
    {
        if (trim($title) === '') {
            throw new \InvalidArgumentException('a message needs a non-empty title');
        }
        if ($header === '') {
            $header = $title;
        }
        if (trim($html) === '') {
            throw new \InvalidArgumentException('a message needs a non-empty body');
        }
        if (strlen($title) > self::MAX_LABEL || strlen($header) > self::MAX_LABEL) {
            throw new \InvalidArgumentException('the title and the header may have at most ' . self::MAX_LABEL . ' bytes');
        }
        if (str_contains($title . $header . $html, "\0")) {
            // PostgreSQL would store the text only up to it.
            throw new \InvalidArgumentException('a message must not contain zero bytes');
        }
        $unknown = [];
        $ids = [];
        if ($names !== null) {
            $names = array_values(array_unique($names));
            foreach (array_chunk($names, 500) as $chunk) {
                $marks = implode(',', array_fill(0, count($chunk), '?'));
                foreach ($this->db->run("SELECT id, name FROM users WHERE disabled = 0 AND name IN ($marks)", $chunk)->fetchAll() as $row) {
                    $ids[$row['name']] = (int)$row['id'];
                }
            }
            $unknown = array_values(array_diff($names, array_keys($ids)));
            $ids = array_values($ids);
            if ($ids === []) {
                return ['id' => 0, 'deliveries' => 0, 'unknown' => $unknown];
            }
        } elseif ($this->db->value('SELECT 1 FROM users WHERE disabled = 0 LIMIT 1') === null) {
            return ['id' => 0, 'deliveries' => 0, 'unknown' => []];
        }
        $now = time();
        $stored = '';
        [$id, $count] = $this->db->transaction(function () use ($ids, $names, $title, $header, $html, $now, &$stored): array {
            $this->db->run('INSERT INTO messages (header, title, html, created_at) VALUES (?, ?, ?, ?)', [$header, $title, '', $now]);
            $id = (int)$this->db->pdo->lastInsertId($this->db->driver === 'pgsql' ? 'messages_id_seq' : null);
            $stored = Html::tagForms($html, $id);
            $this->db->run('UPDATE messages SET html = ? WHERE id = ?', [$stored, $id]);
            $count = 0;
            $chunks = $names === null ? [null] : array_chunk($ids, 500);
            foreach ($chunks as $chunk) {
                $where = $chunk === null ? 'disabled = 0' : 'id IN (' . implode(',', array_fill(0, count($chunk), '?')) . ')';
                $params = $chunk ?? [];
                // The row locks (the database lock on SQLite) taken here keep every other poster
                // out until the commit, so no Index is handed out twice. They are taken in the
                // order of the ids, so that two posts to overlapping lists cannot deadlock.
                if ($this->db->driver !== 'sqlite') {
                    $this->db->run("SELECT id FROM users WHERE $where ORDER BY id FOR UPDATE", $params);
                }
                $this->db->run("UPDATE users SET last_index = last_index + 1 WHERE $where AND last_index < " . self::MAX_INDEX, $params);
                $count += $this->db->run(
                    "INSERT INTO deliveries (user_id, idx, message_id, created_at) SELECT id, last_index, ?, ? FROM users WHERE $where"
                    . " AND NOT EXISTS (SELECT 1 FROM deliveries d WHERE d.user_id = users.id AND d.idx = users.last_index)",
                    array_merge([$id, $now], $params)
                )->rowCount();
                if ($this->db->driver === 'pgsql') {
                    $this->db->run('SELECT pg_notify(?, ?)', [self::CHANNEL, $chunk === null ? '*' : implode(',', $chunk)]);
                }
            }
            if ($count === 0) {
                // Every recipient's counter is at the maximum: nothing would ever be delivered.
                throw new \OverflowException('no recipient can take another message: its Index is at the maximum');
            }
            return [$id, $count];
        });
        if ($this->committed !== null && $count > 0) {
            // Looked up only when the wake-ups go out, which may be after the caller has its answer.
            ($this->committed)(fn(): array => array_map(
                static fn(array $row): array => [(int)$row['user_id'], (int)$row['idx']],
                $this->db->run('SELECT user_id, idx FROM deliveries WHERE message_id = ?', [$id])->fetchAll()
            ), ['header' => $header, 'title' => $title, 'html' => $stored]);
        }
        return ['id' => $id, 'deliveries' => $count, 'unknown' => $unknown];
    }

    /** The user's first message above $index, with its Index, or null. @return array<string,mixed>|null */
    public function next(int $userId, int $index): ?array
    {
        return $this->db->row(
            'SELECT d.idx, m.id, m.header, m.title, m.html FROM deliveries d JOIN messages m ON m.id = d.message_id'
            . ' WHERE d.user_id = ? AND d.idx > ? ORDER BY d.idx LIMIT 1',
            [$userId, $index]
        );
    }

    /**
     * A client that holds a higher Index than this database ever gave (the database was
     * replaced, say) would never see a message again: the user's counter is raised to it, so
     * that the next message gets an Index above it.
     */
    public function catchUp(int $userId, int $index): void
    {
        if ($index > 0) {
            $index = min($index, self::MAX_INDEX - self::CATCH_UP_HEADROOM);
            $this->db->run('UPDATE users SET last_index = ? WHERE id = ? AND last_index < ?', [$index, $userId, $index]);
        }
    }

    /**
     * Waits up to $seconds for a message above $index. SQLite and MySQL look every $checkMs;
     * PostgreSQL sleeps on LISTEN and looks when a NOTIFY names this user (and every
     * $safetyNetSeconds, in case a notification was missed). Stops early, with null, when
     * $keepWaiting (asked between look-ups) says no.
     *
     * @param (\Closure():bool)|null $keepWaiting
     * @return array<string,mixed>|null
     */
    public function wait(int $userId, int $index, float $seconds, int $checkMs, float $safetyNetSeconds = 1.0, ?\Closure $keepWaiting = null): ?array
    {
        $deadline = self::clock() + $seconds;
        $listening = false;
        if ($this->db->driver === 'pgsql') {
            $this->db->pdo->exec('LISTEN ' . self::CHANNEL);
            $listening = true;
        }
        try {
            for (;;) {
                $message = $this->next($userId, $index);
                if ($message !== null) {
                    return $message;
                }
                $left = $deadline - self::clock();
                if ($left <= 0 || connection_aborted() || ($keepWaiting !== null && !$keepWaiting())) {
                    return null;
                }
                if ($listening) {
                    $until = self::clock() + min($left, $safetyNetSeconds);
                    while (($ms = (int)(($until - self::clock()) * 1000)) > 0) {
                        $note = $this->db->pdo->pgsqlGetNotify(\PDO::FETCH_ASSOC, $ms);
                        if ($note === false) {
                            break;
                        }
                        $payload = (string)($note['payload'] ?? '*');
                        if ($payload === '*' || in_array((string)$userId, explode(',', $payload), true)) {
                            break;
                        }
                    }
                } else {
                    usleep((int)(min($left, $checkMs / 1000) * 1e6));
                }
            }
        } finally {
            if ($listening) {
                $this->db->pdo->exec('UNLISTEN ' . self::CHANNEL);
            }
        }
    }

    /**
     * Seconds on a monotonic clock: a step of the wall clock (a time sync) neither cuts a held
     * poll short nor stretches it past the client's time-out.
     */
    private static function clock(): float
    {
        return hrtime(true) / 1e9;
    }

    /**
     * Removes deliveries (and messages no delivery refers to any more) older than $days.
     * Each user's Index counter stays, so Indexes never repeat.
     */
    public function prune(int $days): array
    {
        $before = time() - $days * 86400;
        return $this->db->transaction(function () use ($before): array {
            $deliveries = $this->db->run('DELETE FROM deliveries WHERE created_at < ?', [$before])->rowCount();
            $messages = $this->db->run('DELETE FROM messages WHERE created_at < ? AND NOT EXISTS (SELECT 1 FROM deliveries d WHERE d.message_id = messages.id)', [$before])->rowCount();
            return ['deliveries' => $deliveries, 'messages' => $messages];
        });
    }
}
