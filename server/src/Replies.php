<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Form replies: the client posts a submitted form's fields with User and Pass to the form's
 * action; the reply is stored with the message it answers (the hidden field MESSAGE_FIELD that
 * posting adds to every form) and answered with a short HTML page that the client shows in
 * place of the message.
 */
final class Replies
{
    public const MESSAGE_FIELD = 'quorvel_message';

    public function __construct(private Database $db, private Config $config, private Accounts $accounts)
    {
    }

    /**
     * Handles one reply. Gives [page, stored reply or null].
     *
     * @param list<array{0:string,1:string}> $fields
     * @return array{0:string,1:array<string,mixed>|null}
     */
    public function handle(array $fields, string $address): array
    {
        $name = Http::field($fields, 'User');
        [$status, $user, $locked] = $this->accounts->authenticate($name, Http::field($fields, 'Pass'), $address);
        if ($status !== Accounts::OK) {
            $text = match ($status) {
                Accounts::THROTTLED => sprintf($this->config->get('throttled_text'), max(1, (int)ceil($locked / 60))),
                Accounts::DISABLED => $this->config->get('disabled_text'),
                default => $this->config->get('reply_denied_text'),
            };
            return [$this->page(false, $text, null, []), null];
        }
        $data = [];
        $messageId = null;
        foreach ($fields as [$n, $v]) {
            if ($n === 'User' || $n === 'Pass') {
                continue;
            }
            if ($n === self::MESSAGE_FIELD) {
                $messageId = ctype_digit($v) ? (int)$v : null;
                continue;
            }
            $data[] = [$n, $v];
        }
        // Only a message that was delivered to this user may be answered by it.
        $title = null;
        if ($messageId !== null) {
            $title = $this->db->value(
                'SELECT m.title FROM messages m JOIN deliveries d ON d.message_id = m.id WHERE m.id = ? AND d.user_id = ? LIMIT 1',
                [$messageId, $user['id']]
            );
            if ($title === null) {
                $messageId = null;
            }
        }
        $json = json_encode($data, JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES | JSON_INVALID_UTF8_SUBSTITUTE);
        $now = time();
        $this->db->run(
            'INSERT INTO replies (user_id, message_id, fields, address, created_at) VALUES (?, ?, ?, ?, ?)',
            [$user['id'], $messageId, $json, $address, $now]
        );
        $id = (int)$this->db->pdo->lastInsertId($this->db->driver === 'pgsql' ? 'replies_id_seq' : null);
        $reply = [
            'id' => $id,
            'user' => $user['name'],
            'message_id' => $messageId,
            'message_title' => $title,
            'fields' => $data,
            'created_at' => $now,
        ];
        return [$this->page(true, '', $title === null ? null : (string)$title, $data), $reply];
    }

    /**
     * The answer page, from the configured template, which gets $accepted, $error,
     * $messageTitle and $fields and escapes with h().
     *
     * @param list<array{0:string,1:string}> $fields
     */
    public function page(bool $accepted, string $error, ?string $messageTitle, array $fields): string
    {
        $template = (string)$this->config->get('reply_template');
        return (static function () use ($template, $accepted, $error, $messageTitle, $fields): string {
            ob_start();
            try {
                require $template;
            } finally {
                $page = (string)ob_get_clean();
            }
            return $page;
        })();
    }

    /** Replies with an id above $since, oldest first. @return list<array<string,mixed>> */
    public function since(int $since, int $limit = 100): array
    {
        $limit = max(1, min(1000, $limit));
        $rows = $this->db->run(
            'SELECT r.id, u.name AS user, r.message_id, r.fields, r.address, r.created_at FROM replies r JOIN users u ON u.id = r.user_id'
            . ' WHERE r.id > ? ORDER BY r.id LIMIT ' . $limit,
            [$since]
        )->fetchAll();
        foreach ($rows as &$row) {
            $row['id'] = (int)$row['id'];
            $row['message_id'] = $row['message_id'] === null ? null : (int)$row['message_id'];
            $row['created_at'] = (int)$row['created_at'];
            $row['fields'] = json_decode((string)$row['fields'], true);
        }
        return $rows;
    }

    /** Posts a stored reply as JSON to the configured web hook; failures are logged, not raised. */
    public function notifyWebhook(array $reply): bool
    {
        $url = $this->config->get('reply_webhook');
        if (!is_string($url) || $url === '') {
            return false;
        }
        $context = stream_context_create(['http' => [
            'method' => 'POST',
            'header' => "Content-Type: application/json\r\nUser-Agent: quorvel-server\r\n",
            'content' => json_encode($reply, JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES | JSON_INVALID_UTF8_SUBSTITUTE),
            'timeout' => (float)$this->config->get('reply_webhook_timeout'),
            'ignore_errors' => true,
        ]]);
        $result = @file_get_contents($url, false, $context);
        if ($result === false) {
            error_log("quorvel: reply web hook $url failed");
            return false;
        }
        return true;
    }
}
