<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The Script URL: answers one poll (User, Pass, Index) with the user's next message above Index
 * as a field list, an empty body when nothing is pending, or a "Deny" refusal. With long polling
 * it holds the request while nothing is pending and answers at once when a message arrives, or,
 * when the time runs out, with IDLE_ANSWER, which holds no message but is longer than one byte,
 * so that the client polls again at once.
 */
final class Poller
{
    /** The time-out answer of a long poll: the field list "Again" = "1", no message. */
    public const IDLE_ANSWER = '15Again11';

    public function __construct(
        private Database $db,
        private Config $config,
        private Accounts $accounts,
        private Messages $messages,
        private Hold $hold,
    ) {
    }

    /**
     * @param list<array{0:string,1:string}> $fields the decoded request body
     * @param ClientLine|null $line the client's end, for a held poll to see that it is still there;
     *        the answer is then what is left to send
     */
    public function answer(array $fields, string $address, ?float $holdSeconds = null, ?ClientLine $line = null): string
    {
        $name = Http::field($fields, 'User');
        $password = Http::field($fields, 'Pass');
        $index = FieldList::integerText(Http::field($fields, 'Index')) ?? 0;
        $index = max(0, $index);

        [$status, $user, $locked] = $this->accounts->authenticate($name, $password, $address);
        switch ($status) {
            case Accounts::THROTTLED:
                $minutes = max(1, (int)ceil($locked / 60));
                return FieldList::encode([
                    'Deny' => sprintf($this->config->get('throttled_text'), $minutes),
                    'Delay' => (string)$locked,
                ]);
            case Accounts::DENIED:
                return FieldList::encode(['Deny' => $this->config->get('deny_text')]);
            case Accounts::DISABLED:
                return FieldList::encode(['Deny' => $this->config->get('disabled_text')]);
        }
        $userId = (int)$user['id'];
        if ($index > (int)$user['last_index']) {
            $this->messages->catchUp($userId, $index);
        }
        $message = $this->messages->next($userId, $index);
        if ($message === null) {
            $this->acknowledge($user, $index);
            $hold = $holdSeconds ?? (float)$this->config->get('long_poll_seconds');
            if ($hold <= 0) {
                return '';
            }
            // Read before the look-up above, so a message committed since is never waited for.
            return $this->hold->hold($userId, $index, (int)$user['last_index'], $hold, $address, $line);
        }
        return self::encodeMessage($message, (int)$this->config->get('delay'));
    }

    /**
     * The client's Index is its own word for what it holds: every message up to it is in its
     * list. Kept for the site (the API's user list, quorvel-admin received) when the client has
     * caught up, so that the polls of a burst write nothing.
     *
     * @param array<string,mixed> $user
     */
    private function acknowledge(array $user, int $index): void
    {
        $now = time();
        if ($index !== (int)$user['acked_index'] || $now - (int)$user['last_poll_at'] >= 60) {
            $this->db->run('UPDATE users SET acked_index = ?, last_poll_at = ? WHERE id = ?', [$index, $now, $user['id']]);
        }
    }

    /** @param array<string,mixed> $message */
    public static function encodeMessage(array $message, int $delay = 0): string
    {
        $fields = [
            'Index' => (string)$message['idx'],
            'Header' => (string)$message['header'],
            'Title' => (string)$message['title'],
        ];
        if ($delay > 0) {
            $fields['Delay'] = (string)$delay;
        }
        // The message last: it is the longest, and a last entry may always be read to the end.
        $fields['Message'] = (string)$message['html'];
        return FieldList::encode($fields);
    }
}
