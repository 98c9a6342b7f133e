<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Hands a waiting poll on to nginx's pub/sub module, so that it costs a connection there instead
 * of a PHP worker, and wakes it when a message is posted.
 *
 * The poll waits on the channel of the message it lacks: "u{user}i{lastIndex}t{turn}" waits for
 * the user's message with Index lastIndex + 1. After the commit of a post, each recipient's
 * channels for its new Index get one wake-up each, which answers every poll waiting on them. The
 * wake-up carries the message itself, with the recipient's Index, as a poll would have answered
 * it: a poll waits only when it holds everything up to lastIndex, so that message is exactly the
 * one it lacks, and the client takes it without another trip through PHP. A message too large to
 * carry wakes with WAKE_ANSWER instead, and the client polls again at once and takes it from the
 * database. Either way the Index rules stay those of a plain poll: a client whose answer was lost
 * still holds the old Index and gets the message from the database at its next poll. The channel
 * keeps its wake-up for a while, so a poll that arrives between PHP's look-up and nginx's
 * subscription is answered at once too; no later poll waits on that channel again, because the
 * message it announces is pending from then on.
 *
 * The turn alternates with each hold time. A client whose wait ended idle polls again at once
 * for the same message; with several nginx workers a subscription to the very channel whose
 * last subscriber has just left was seen to miss its wake-up now and then (about one such
 * re-subscription in fifty), so the next wait takes the other turn's channel, and a post wakes
 * both.
 */
final class NchanHold implements Hold
{
    /**
     * What a woken poll answers: like the idle answer, no message and longer than one byte, so
     * the client polls again at once; told apart from a time-out in logs and tests.
     */
    public const WAKE_ANSWER = '15Again4Wake';

    /** @var resource|null the connection to the publishing endpoint, kept for the process */
    private $connection = null;

    /** A wake-up carries its message when the answer has at most this many bytes. */
    public const MAX_CARRIED = 8192;
    /**
     * And when the answers of all its channels come to at most this many bytes together: nginx
     * keeps each for a minute in its shared memory (a post to everyone, say).
     */
    public const MAX_CARRIED_PER_POST = 16 << 20;

    /**
     * @var list<array{0:list<array{0:int,1:int}>|\Closure():list<array{0:int,1:int}>,1:array{header:string,title:string,html:string}|null}>|null
     *      posts whose wake-ups wait for flush(); null: none wait
     */
    private ?array $deferred = null;

    /**
     * @param string $location the internal location that waits, e.g. "/quorvel-wait/"
     * @param string|null $publishAddress the stream address of the internal server with the
     *        publishing location, e.g. "unix:///run/quorvel-nchan.sock"
     * @param \Closure(string):void $header sends one response header
     * @param int $delay the "Delay" sent with every message, as a poll sends it
     */
    public function __construct(
        private string $location,
        private ?string $publishAddress,
        private string $publishPath = '/wake/',
        private ?\Closure $header = null,
        private int $delay = 0,
    ) {
    }

    /** @param int $turn 0 or 1, see turn() */
    public static function channel(int $userId, int $lastIndex, int $turn): string
    {
        return 'u' . $userId . 'i' . $lastIndex . 't' . $turn;
    }

    /**
     * The turn of a wait that starts at $now: it changes every $holdSeconds, so a wait that
     * starts as the previous one ran out idle takes the other channel.
     */
    public static function turn(float $now, float $holdSeconds): int
    {
        return (int)floor($now / max(1.0, $holdSeconds)) % 2;
    }

    /** nginx notices a closed client itself, and its per-address limit bounds the waits. */
    public function hold(int $userId, int $index, int $lastIndex, float $seconds, string $address, ?ClientLine $line): string
    {
        $send = $this->header ?? static function (string $line): void {
            header($line);
        };
        $channel = self::channel($userId, max($index, $lastIndex), self::turn(microtime(true), $seconds));
        $send('X-Accel-Redirect: ' . $this->location . $channel);
        return '';
    }

    /**
     * Wakes the polls that wait for the deliveries of a committed message, on both turns' channels,
     * with the message when it is small enough (see MAX_CARRIED). The publishes go out on one
     * kept-alive connection, all written before the answers are read.
     *
     * @param list<array{0:int,1:int}>|\Closure():list<array{0:int,1:int}> $deliveries user id and
     *        Index of each delivery, or what looks them up (only when the wake-ups go out)
     * @param array{header:string,title:string,html:string}|null $message the message as stored
     * @return int the deliveries whose wake-ups the publishing endpoint accepted
     */
    public function wake(array|\Closure $deliveries, ?array $message = null): int
    {
        if ($this->publishAddress === null) {
            return 0;
        }
        if ($this->deferred !== null) {
            // Looked up and encoded after the site has its answer: for a post to everyone that
            // is most of the work.
            $this->deferred[] = [$deliveries, $message];
            return 0;
        }
        return $this->send($this->wakeUps($deliveries instanceof \Closure ? $deliveries() : $deliveries, $message));
    }

    /**
     * @param list<array{0:int,1:int}> $deliveries
     * @param array{header:string,title:string,html:string}|null $message
     * @return list<array{0:int,1:int,2:string}> user id, Index and the wake-up's answer
     */
    private function wakeUps(array $deliveries, ?array $message): array
    {
        $carried = $message !== null;
        $wakeUps = [];
        $bytes = 0;
        foreach ($deliveries as [$userId, $idx]) {
            $answer = self::WAKE_ANSWER;
            if ($carried) {
                $answer = Poller::encodeMessage(['idx' => $idx] + $message, $this->delay);
                $bytes += 2 * strlen($answer);
                $carried = strlen($answer) <= self::MAX_CARRIED && $bytes <= self::MAX_CARRIED_PER_POST;
            }
            $wakeUps[] = [$userId, $idx, $answer];
        }
        if (!$carried) {
            // All or none: the same message wakes every recipient the same way.
            $wakeUps = array_map(static fn(array $w): array => [$w[0], $w[1], self::WAKE_ANSWER], $wakeUps);
        }
        return $wakeUps;
    }

    /**
     * From now on wake() keeps the wake-ups until flush(): the API answers the site first,
     * so that its call does not wait for them (one per recipient and turn).
     */
    public function defer(): void
    {
        $this->deferred ??= [];
    }

    /** Sends the wake-ups kept since defer(), and wakes at once again from then on. */
    public function flush(): int
    {
        $posts = $this->deferred ?? [];
        $this->deferred = null;
        $accepted = 0;
        foreach ($posts as [$deliveries, $message]) {
            $accepted += $this->wake($deliveries, $message);
        }
        return $accepted;
    }

    /** @param list<array{0:int,1:int,2:string}> $wakeUps */
    private function send(array $wakeUps): int
    {
        $accepted = 0;
        foreach (array_chunk($wakeUps, 100) as $chunk) {
            $accepted += $this->publish($chunk, true);
        }
        return $accepted;
    }

    /** @param list<array{0:int,1:int,2:string}> $chunk */
    private function publish(array $chunk, bool $retry): int
    {
        $requests = '';
        foreach ($chunk as [$userId, $idx, $answer]) {
            foreach ([0, 1] as $turn) {
                $requests .= 'POST ' . $this->publishPath . self::channel($userId, $idx - 1, $turn) . " HTTP/1.1\r\n"
                    . "Host: quorvel\r\nContent-Type: text/plain\r\nContent-Length: " . strlen($answer) . "\r\n\r\n" . $answer;
            }
        }
        try {
            $connection = $this->connect();
            if (fwrite($connection, $requests) !== strlen($requests)) {
                throw new \RuntimeException('short write');
            }
            $accepted = 0;
            foreach ($chunk as $_) {
                $both = true;
                for ($turn = 0; $turn < 2; $turn++) {
                    $status = self::readAnswer($connection);
                    $both = $both && $status >= 200 && $status < 300;
                }
                $accepted += $both ? 1 : 0;
            }
            return $accepted;
        } catch (\RuntimeException $e) {
            $this->close();
            // A kept connection that the server closed meanwhile: once more on a new one.
            if ($retry) {
                return $this->publish($chunk, false);
            }
            error_log('quorvel wake-up: ' . $e->getMessage());
            return 0;
        }
    }

    /** @return resource */
    private function connect()
    {
        if ($this->connection === null) {
            $connection = @stream_socket_client((string)$this->publishAddress, $errno, $error, 2.0);
            if ($connection === false) {
                throw new \RuntimeException("cannot reach $this->publishAddress: $error");
            }
            stream_set_timeout($connection, 5);
            $this->connection = $connection;
        }
        return $this->connection;
    }

    private function close(): void
    {
        if ($this->connection !== null) {
            @fclose($this->connection);
            $this->connection = null;
        }
    }

    /** Reads one HTTP answer (status line, headers, a body of Content-Length); gives its status. @param resource $connection */
    private static function readAnswer($connection): int
    {
        $line = fgets($connection);
        if ($line === false || !preg_match('#^HTTP/1\.\d (\d{3})#', $line, $m)) {
            throw new \RuntimeException('no answer from the publishing endpoint');
        }
        $length = 0;
        $close = false;
        while (($header = fgets($connection)) !== false && rtrim($header) !== '') {
            if (preg_match('/^Content-Length:\s*(\d+)/i', $header, $h)) {
                $length = (int)$h[1];
            } elseif (preg_match('/^Connection:\s*close/i', $header)) {
                $close = true;
            }
        }
        while ($length > 0) {
            $chunk = fread($connection, $length);
            if ($chunk === false || $chunk === '') {
                throw new \RuntimeException('the answer of the publishing endpoint was cut short');
            }
            $length -= strlen($chunk);
        }
        if ($close) {
            throw new \RuntimeException('the publishing endpoint closed the connection');
        }
        return (int)$m[1];
    }
}
