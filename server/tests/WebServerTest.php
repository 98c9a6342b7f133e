<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\FieldList;

/**
 * Attacks on the script as deployed: behind nginx (which decodes the path) and PHP-FPM, both
 * started by the test on 127.0.0.1. Other loopback addresses (127.0.0.2, …) stand for other
 * machines.
 */
final class WebServerTest extends ServerTestCase
{
    private ?WebServer $server = null;

    protected function setUp(): void
    {
        $missing = WebServer::missing();
        if ($missing !== null) {
            $this->markTestSkipped("no nginx and PHP-FPM to test with: $missing");
        }
        parent::setUp();
    }

    protected function tearDown(): void
    {
        $this->server?->stop();
        $this->server = null;
        parent::tearDown();
    }

    /** @param array<string,mixed> $config */
    private function serve(array $config = [], int $workers = 4): string
    {
        // The script creates the database on its first request; create it here instead, so that
        // concurrent first requests do not race for it.
        $this->app($config);
        $this->server = WebServer::start($this->dir, $this->configFile($config), $workers);
        return $this->server->url;
    }

    /** @return array{0:int,1:mixed} */
    private function api(string $base, string $method, string $path, ?array $json = null, float $timeout = 30): array
    {
        [$status, $body] = self::http($method, "$base/api.php$path", $json === null ? null : json_encode($json), [
            'Authorization' => 'Bearer test-token',
            'Content-Type' => 'application/json',
        ], $timeout);
        return [$status, json_decode($body, true)];
    }

    /**
     * A poll from $from (a loopback address). Gives [status, decoded strings].
     *
     * @return array{0:int,1:list<string>}
     */
    private static function poll(string $base, string $user, string $pass, int $index = 0, string $from = '127.0.0.1', float $timeout = 30): array
    {
        [$status, $body] = self::httpFrom($from, 'POST', "$base/poll.php", self::pollBody($user, $pass, $index), $timeout);
        return [$status, FieldList::decode($body)];
    }

    /** @return array{0:int,1:string} */
    private static function httpFrom(string $from, string $method, string $url, string $body, float $timeout = 30): array
    {
        $context = stream_context_create([
            'http' => [
                'method' => $method,
                'header' => "Content-Type: application/x-www-form-urlencoded\r\n",
                'content' => $body,
                'timeout' => $timeout,
                'ignore_errors' => true,
                'protocol_version' => 1.0,
            ],
            'socket' => ['bindto' => "$from:0"],
        ]);
        $answer = @file_get_contents($url, false, $context);
        $status = 0;
        foreach ($http_response_header ?? [] as $h) {
            if (preg_match('#^HTTP/\S+ (\d{3})#', $h, $m)) {
                $status = (int)$m[1];
            }
        }
        return [$status, $answer === false ? '' : $answer];
    }

    /**
     * Connections from one address that never finish their headers neither take every
     * connection nginx has nor stay open past the header time-out, so another machine's poll is
     * answered meanwhile.
     */
    public function testHalfSentHeadersFromOneAddressLeaveRoomForOthers(): void
    {
        $base = $this->serve(['long_poll_seconds' => 0]);
        $this->app()->accounts->create('alice', 'secret');
        $port = (int)parse_url($base, PHP_URL_PORT);
        $limits = posix_getrlimit();
        $wanted = 2500;
        $hard = $limits['hard openfiles'] === 'unlimited' ? $wanted : (int)$limits['hard openfiles'];
        if ((int)$limits['soft openfiles'] < $wanted && !posix_setrlimit(POSIX_RLIMIT_NOFILE, min($wanted, $hard), $hard)) {
            $this->markTestSkipped('cannot open enough files for the attack');
        }
        // More than the 768 connections of nginx's stock configuration.
        $attackers = [];
        $context = stream_context_create(['socket' => ['bindto' => '127.0.0.9:0']]);
        for ($i = 0; $i < 1700; $i++) {
            $socket = @stream_socket_client("tcp://127.0.0.1:$port", $errno, $error, 2, STREAM_CLIENT_CONNECT, $context);
            if ($socket === false) {
                break;
            }
            fwrite($socket, "POST /poll.php HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            $attackers[] = $socket;
        }
        $this->assertGreaterThan(1000, count($attackers), 'the attack opened its connections');

        // Let nginx take (or turn away) the whole attack before the other machine comes.
        $settled = -1;
        for ($round = 0; $round < 25; $round++) {
            usleep(200000);
            $gone = count(array_filter($attackers, static function ($socket): bool {
                stream_set_blocking($socket, false);
                @fread($socket, 4096);
                return feof($socket);
            }));
            if ($gone === $settled) {
                break;
            }
            $settled = $gone;
        }
        [$status, $fields] = self::poll($base, 'alice', 'secret', 0, '127.0.0.2', 5);
        $this->assertSame(200, $status, 'another machine is answered during the attack');
        $this->assertSame([], $fields);

        // The header time-out (10 s) closes the half-sent requests.
        $sample = array_slice($attackers, 0, 20);
        $deadline = microtime(true) + 20;
        $closed = 0;
        while (microtime(true) < $deadline && $closed < count($sample)) {
            $closed = 0;
            foreach ($sample as $socket) {
                stream_set_blocking($socket, false);
                @fread($socket, 4096);
                $closed += feof($socket) ? 1 : 0;
            }
            usleep(200000);
        }
        foreach ($attackers as $socket) {
            fclose($socket);
        }
        $this->assertSame(count($sample), $closed, 'nginx closes requests whose headers never end');
    }

    /**
     * An account whose name reads as an encoding of another's is addressed as itself: the path
     * is decoded once, by nginx.
     */
    public function testUserRoutesDecodeTheNameOnce(): void
    {
        $base = $this->serve();
        $app = $this->app();
        // Accounts from before names with "%" were refused.
        foreach (['dave', 'ddb', 'John Smith'] as $name) {
            $app->accounts->create($name, 'old');
        }
        foreach (['%64ave', 'dd%62'] as $name) {
            $app->db->run('INSERT INTO users (name, pass_hash, disabled, last_index, created_at) VALUES (?, ?, 0, 0, 0)', [$name, password_hash('old', PASSWORD_DEFAULT)]);
        }
        $cases = [
            // path, name it must reach, name that must stay as it was
            ['/users/%2564ave/password', '%64ave', 'dave'],
            ['/users/dd%2562/disable', 'dd%62', 'ddb'],
            ['/users/John%20Smith/password', 'John Smith', 'John'],
        ];
        foreach ($cases as [$path, $target, $bystander]) {
            [$status, $answer] = $this->api($base, 'POST', $path, ['password' => 'new']);
            $this->assertSame(200, $status, $path . ' ' . json_encode($answer) . $this->server->phpErrors());
            $this->assertSame($target, $answer['user'], $path);
        }
        $deny = 'Unknown user name or wrong password.';
        $this->assertSame([], self::poll($base, 'dave', 'old')[1], 'dave keeps its password');
        $this->assertSame($deny, FieldList::value(self::poll($base, '%64ave', 'old')[1], 'Deny'));
        $this->assertSame([], self::poll($base, '%64ave', 'new')[1]);
        $this->assertSame([], self::poll($base, 'ddb', 'old')[1], 'ddb is not disabled');
        $this->assertNotSame('', FieldList::value(self::poll($base, 'dd%62', 'old')[1], 'Deny'));
        $this->assertSame([], self::poll($base, 'John Smith', 'new')[1]);

        // New names that could stand for another, or for everyone, are refused.
        foreach (['%64ave', 'a/b', '*', 'ann,bob', "line\nbreak"] as $name) {
            [$status] = $this->api($base, 'POST', '/users', ['name' => $name, 'password' => 'pw']);
            $this->assertSame(400, $status, $name);
        }
    }

    /** Sends a poll and closes the connection at once, as an attacker abandoning polls would. */
    private static function abandonPoll(string $base, string $user, string $pass): void
    {
        $port = (int)parse_url($base, PHP_URL_PORT);
        $socket = fsockopen('127.0.0.1', $port);
        $body = self::pollBody($user, $pass, 0);
        fwrite($socket, "POST /poll.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            . 'Content-Length: ' . strlen($body) . "\r\nConnection: close\r\n\r\n$body");
        fclose($socket);
    }

    /** Opens a poll from $from and leaves it waiting; gives the socket. @return resource */
    private static function holdPoll(string $base, string $user, string $pass, string $from, int $index = 0)
    {
        $port = (int)parse_url($base, PHP_URL_PORT);
        $socket = stream_socket_client("tcp://127.0.0.1:$port", $errno, $error, 5, STREAM_CLIENT_CONNECT,
            stream_context_create(['socket' => ['bindto' => "$from:0"]]));
        $body = self::pollBody($user, $pass, $index);
        fwrite($socket, "POST /poll.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            . 'Content-Length: ' . strlen($body) . "\r\nConnection: close\r\n\r\n$body");
        return $socket;
    }

    /** The body of the answer on a socket of holdPoll, read within $timeout seconds. @param resource $socket */
    private static function answerOn($socket, float $timeout): string
    {
        stream_set_timeout($socket, (int)ceil($timeout));
        $answer = (string)stream_get_contents($socket);
        fclose($socket);
        $body = substr($answer, (int)strpos($answer, "\r\n\r\n") + 4);
        // HTTP/1.1 from nginx: a held poll's answer arrives in chunks.
        if (preg_match('/^Transfer-Encoding:\s*chunked/mi', $answer)) {
            $plain = '';
            while (preg_match('/^([0-9a-f]+)\r\n/i', $body, $m) && hexdec($m[1]) > 0) {
                $plain .= substr($body, strlen($m[0]), (int)hexdec($m[1]));
                $body = substr($body, strlen($m[0]) + (int)hexdec($m[1]) + 2);
            }
            $body = $plain;
        }
        return $body;
    }

    /**
     * One account abandoning polls, or one address holding many, leaves the pool to everyone
     * else: another user's poll and the site's API call are served, not queued behind the held
     * polls until they time out (the client's time-out here is far below the 25 s hold). Nor do
     * they take the budget of held polls: another user's poll is still held and woken by a post.
     */
    public function testAbandonedAndCrowdedPollsLeaveWorkersForOthers(): void
    {
        $config = ['long_poll_seconds' => 25, 'held_polls_per_address' => 2];
        // A budget of four held polls: two for the crowded address, one left over from the
        // abandoned polls while it notices its client has gone, one for the other user.
        $base = $this->serve($config, 6);
        $app = $this->app($config);
        $app->accounts->create('bob', 'pw-bob');
        $app->accounts->create('mallory', 'pw-m');
        for ($i = 0; $i < 6; $i++) {
            $app->accounts->create("office$i", 'pw');
        }
        $attacks = [
            'one account abandons polls' => function () use ($base): array {
                for ($i = 0; $i < 40; $i++) {
                    self::abandonPoll($base, 'mallory', 'pw-m');
                    usleep(25000);
                }
                return [];
            },
            'one address holds polls of many accounts' => function () use ($base): array {
                $sockets = [];
                for ($i = 0; $i < 6; $i++) {
                    $sockets[] = self::holdPoll($base, "office$i", 'pw', '127.0.0.2');
                    usleep(100000);
                }
                return $sockets;
            },
        ];
        $posted = 0;
        foreach ($attacks as $attack => $run) {
            $sockets = $run();
            usleep(500000);
            $waiting = self::holdPoll($base, 'bob', 'pw-bob', '127.0.0.4', $posted);
            usleep(300000);
            [$status, $answer] = $this->api($base, 'POST', '/messages', ['to' => 'bob', 'title' => "during: $attack", 'text' => 'x'], 8);
            $this->assertSame(201, $status, "$attack: the API call " . $this->server->phpErrors());
            $posted++;
            $this->assertSame("during: $attack", FieldList::value(FieldList::decode(self::answerOn($waiting, 8)), 'Title'), "$attack: another user's held poll");
            [$status, $strings] = self::poll($base, 'bob', 'pw-bob', $posted - 1, '127.0.0.3', 8);
            $this->assertSame(200, $status, "$attack: another user's poll");
            $this->assertSame("during: $attack", FieldList::value($strings, 'Title'), $attack);
            foreach ($sockets as $socket) {
                fclose($socket);
            }
        }
    }

    /**
     * A guesser at another address locks the name for itself, not for the user at the machine
     * it logged in from; and a crowd of guesses behind one address does not shut out a user
     * known there.
     */
    public function testAGuesserIsRefusedWhileTheUserAtItsKnownAddressKeepsWorking(): void
    {
        $base = $this->serve(['throttle_user_limit' => 10, 'throttle_address_limit' => 50]);
        $app = $this->app();
        $app->accounts->create('victim', 'right');
        $this->assertSame([], self::poll($base, 'victim', 'right', 0, '127.0.0.2')[1], 'the user logs in from its machine');
        $deny = 'Unknown user name or wrong password.';
        for ($i = 0; $i < 10; $i++) {
            $this->assertSame($deny, FieldList::value(self::poll($base, 'victim', "guess$i", 0, '127.0.0.3')[1], 'Deny'));
        }
        for ($round = 0; $round < 3; $round++) {
            $refusal = FieldList::value(self::poll($base, 'victim', 'guess', 0, '127.0.0.3')[1], 'Deny');
            $this->assertStringStartsWith('Too many failed log-ins', $refusal, 'the guesser is refused');
            $this->assertSame([], self::poll($base, 'victim', 'right', 0, '127.0.0.2')[1], 'the user keeps working');
        }
        // A machine of the user's that polled before with the password verified a short while ago.
        $this->assertSame([], self::poll($base, 'victim', 'right', 0, '127.0.0.4')[1], 'a still-valid credential passes');
        $this->assertStringStartsWith('Too many failed log-ins', FieldList::value(self::poll($base, 'victim', 'wrong', 0, '127.0.0.4')[1], 'Deny'));
    }
}
