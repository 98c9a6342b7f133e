<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\App;
use Quorvel\Server\ClientLine;
use Quorvel\Server\FieldList;
use Quorvel\Server\Http;
use Quorvel\Server\Poller;

/** The rules of polls that wait in a PHP worker. */
final class HeldPollsTest extends ServerTestCase
{
    private function poll(App $app, string $user, float $hold, string $address = '192.0.2.1', ?ClientLine $line = null): string
    {
        return $app->poller->answer(Http::formPairs(self::pollBody($user, 'pw', 0)), $address, $hold, $line);
    }

    public function testAnAddressWithItsShareOfWaitingPollsIsAnsweredAtOnce(): void
    {
        $cases = [
            // polls waiting from the address (and until when), limit, what the next poll gets
            'below the limit' => [1, 60, 2, Poller::IDLE_ANSWER],
            'at the limit' => [2, 60, 2, ''],
            'far beyond' => [5, 60, 2, ''],
            'entries of killed workers expire' => [5, -1, 2, Poller::IDLE_ANSWER],
            'no limit' => [5, 60, 0, Poller::IDLE_ANSWER],
        ];
        foreach ($cases as $case => [$waiting, $until, $limit, $expected]) {
            $app = $this->app(['held_polls_per_address' => $limit, 'poll_check_ms' => 20]);
            $app->db->run('DELETE FROM known_addresses');
            $app->db->run('DELETE FROM users');
            $app->accounts->create('me', 'pw');
            for ($i = 0; $i < $waiting; $i++) {
                $app->accounts->create("other$i", 'pw');
                $app->db->run('UPDATE users SET held_token = ?, held_address = ?, held_until = ? WHERE name = ?', ["t$i", '198.51.100.1', time() + $until, "other$i"]);
            }
            $this->assertSame($expected, $this->poll($app, 'me', 0.2, '198.51.100.1'), $case);
            // Another address is not affected.
            $this->assertSame(Poller::IDLE_ANSWER, $this->poll($app, 'me', 0.2, '198.51.100.2'), $case);
            $this->assertNull($app->db->value('SELECT held_token FROM users WHERE name = ?', ['me']), "$case: the entry is gone after the poll");
        }
    }

    /** A newer poll of the same user ends the older one, which would otherwise wait 30 s. */
    public function testANewerPollOfTheSameUserEndsTheOlder(): void
    {
        $app = $this->app(['poll_check_ms' => 50]);
        $app->accounts->create('me', 'pw');
        $code = '$app = Quorvel\Server\App::fromEnvironment(); $t = microtime(true);'
            . ' $answer = $app->poller->answer(Quorvel\Server\Http::formPairs("User=me&Pass=pw&Index=0"), "192.0.2.1", 30.0);'
            . ' echo json_encode([$answer, microtime(true) - $t]);';
        $config = $this->configFile(['poll_check_ms' => 50]);
        $file = $this->dir . '/older.php';
        file_put_contents($file, "<?php\nrequire " . var_export(dirname(__DIR__) . '/src/autoload.php', true) . ";\n" . $code);
        $older = proc_open([PHP_BINARY, $file], [1 => ['pipe', 'w']], $pipes, null, array_replace(getenv(), ['QUORVEL_CONFIG' => $config]));
        for ($i = 0; $i < 100 && $app->db->value('SELECT held_token FROM users') === null; $i++) {
            usleep(50000);
        }
        $this->assertNotNull($app->db->value('SELECT held_token FROM users'), 'the older poll waits');
        $this->assertSame(Poller::IDLE_ANSWER, $this->poll($app, 'me', 0.5));
        [$answer, $elapsed] = json_decode((string)stream_get_contents($pipes[1]), true);
        proc_close($older);
        $this->assertSame(Poller::IDLE_ANSWER, $answer);
        $this->assertLessThan(15, $elapsed, 'ended by the newer poll, not by its time');
    }

    /** A poll whose client has gone stops waiting at its next check, long before its time. */
    public function testAPollWhoseClientHasGoneStopsWaiting(): void
    {
        $app = $this->app(['poll_check_ms' => 20]);
        $app->accounts->create('me', 'pw');
        $sent = '';
        $line = new ClientLine(static function (string $bytes) use (&$sent): bool {
            $sent .= $bytes;
            return strlen($sent) < 2;
        });
        $start = microtime(true);
        $this->poll($app, 'me', 30.0, '192.0.2.1', $line);
        $this->assertLessThan(15, microtime(true) - $start);
        $this->assertNull($app->db->value('SELECT held_token FROM users'), 'its place is free again');
    }

    /** What a checked line sends before and with the answer reads as the answer itself. */
    public function testTheCheckedLineReadsAsTheAnswer(): void
    {
        $answers = [
            Poller::IDLE_ANSWER,
            Poller::encodeMessage(['idx' => 7, 'header' => 'H', 'title' => 'T', 'html' => str_repeat("9\x00 ", 400)], 30),
            FieldList::encode(['Deny' => 'no']),
        ];
        foreach ([0, 1, 3] as $probes) {
            foreach ($answers as $answer) {
                $text = self::throughCheckedLine($answer, $probes);
                $strings = FieldList::decode($text);
                $pairs = [];
                for ($i = 0; $i < count($strings); $i += 2) {
                    if ($strings[$i] !== '' || $strings[$i + 1] !== '') {
                        array_push($pairs, $strings[$i], $strings[$i + 1]);
                    }
                }
                $this->assertSame(FieldList::decode($answer), $pairs, "$probes probes");
                $this->assertSame($probes === 0, $text === $answer);
            }
        }
    }
}
