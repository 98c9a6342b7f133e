<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\App;
use Quorvel\Server\ClientLine;
use Quorvel\Server\Config;
use Quorvel\Server\Database;
use Quorvel\Server\FieldList;
use Quorvel\Server\Http;
use Quorvel\Server\HoldBudget;
use Quorvel\Server\Messages;
use Quorvel\Server\NchanHold;
use Quorvel\Server\PhpHold;
use Quorvel\Server\Poller;

/** How a poll with nothing pending waits: the budget of held polls, and the hand-off to nginx. */
final class HoldTest extends ServerTestCase
{
    /** @return array<string,array{0:int,1:int}> */
    public static function pools(): array
    {
        return [
            'a pool of one holds nothing' => [1, 0],
            'a small pool' => [4, 3],
            'the guide\'s poll pool' => [200, 150],
        ];
    }

    /** @dataProvider pools */
    public function testTheBudgetLeavesAQuarterOfThePool(int $pool, int $budget): void
    {
        $this->assertSame($budget, HoldBudget::forPool($pool));
    }

    public function testSlotsAreTakenUpToTheBudgetAndFreedOnRelease(): void
    {
        $holders = [];
        for ($i = 0; $i < 4; $i++) {
            $holders[] = new HoldBudget($this->dir . '/slots', 3);
        }
        $taken = array_map(static fn(HoldBudget $b): bool => $b->acquire(), $holders);
        $this->assertSame([true, true, true, false], $taken);
        $holders[1]->release();
        $this->assertTrue($holders[3]->acquire(), 'a released slot is free again');
        $this->assertFalse((new HoldBudget($this->dir . '/slots', 3))->acquire());
        $this->assertFalse((new HoldBudget($this->dir . '/none', 0))->acquire(), 'a budget of nothing holds nothing');
    }

    /** @return array<string,array{0:string,1:string|null,2:string}> */
    public static function slotFolders(): array
    {
        $temp = sys_get_temp_dir() . '/quorvel-holds-';
        return [
            'beside an SQLite file' => ['sqlite:/srv/q/var/quorvel.sqlite', null, '/srv/q/var/quorvel.sqlite.holds'],
            'the configured folder first' => ['sqlite:/srv/q/var/quorvel.sqlite', '/run/q', '/run/q'],
            'a server database: the temporary folder' => ['pgsql:host=/run/postgresql;dbname=q', null, $temp],
            'an SQLite database in memory: the temporary folder' => ['sqlite::memory:', null, $temp],
        ];
    }

    /** @dataProvider slotFolders */
    public function testTheSlotsLieWhereTheirDatabaseIsOrInTheTemporaryFolder(string $dsn, ?string $dir, string $expected): void
    {
        $folder = PhpHold::slotFolder(Config::fromArray(['dsn' => $dsn, 'hold_lock_dir' => $dir]));
        $this->assertStringStartsWith($expected, $folder);
        $this->assertSame(str_ends_with($expected, '-'), strlen($folder) > strlen($expected), $folder);
    }

    /** A site tried out with php -S and removed again leaves no slot folder in the temporary folder. */
    public function testHeldPollsOnSqliteLeaveNothingInTheTemporaryFolder(): void
    {
        if ($this->driver() !== 'sqlite') {
            $this->markTestSkipped('slots beside the database are for SQLite');
        }
        $before = glob(sys_get_temp_dir() . '/quorvel-holds-*') ?: [];
        $app = $this->app(['long_poll_seconds' => 1, 'max_held_polls' => 1, 'hold_lock_dir' => null]);
        $app->accounts->create('a', 'b');
        $this->assertSame(Poller::IDLE_ANSWER, $app->poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), 'x', 0.1));
        $this->assertSame($before, glob(sys_get_temp_dir() . '/quorvel-holds-*') ?: []);
        $this->assertDirectoryExists($this->dir . '/test.sqlite.holds');
    }

    public function testAPollBeyondTheBudgetIsAnsweredAtOnceWithTheEmptyBody(): void
    {
        $app = $this->app(['long_poll_seconds' => 1, 'max_held_polls' => 1, 'hold_lock_dir' => $this->dir . '/holds']);
        $app->accounts->create('a', 'b');
        $occupied = new HoldBudget($this->dir . '/holds', 1);
        $this->assertTrue($occupied->acquire());
        $this->assertSame('', $app->poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), 'x'));
        $occupied->release();
        $this->assertSame(Poller::IDLE_ANSWER, $app->poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), 'x'));
    }

    /**
     * Within the budget the per-address share still holds, and a poll refused for it gives its
     * slot back, so that one address cannot keep the budget for itself.
     */
    public function testAPollHeldInPhpKeepsTheRulesOfHeldPollsWithinTheBudget(): void
    {
        $app = $this->app(['long_poll_seconds' => 1, 'max_held_polls' => 1, 'held_polls_per_address' => 1, 'poll_check_ms' => 20]);
        $app->accounts->create('a', 'b');
        $app->accounts->create('other', 'b');
        $app->db->run('UPDATE users SET held_token = ?, held_address = ?, held_until = ? WHERE name = ?', ['t', '198.51.100.1', time() + 60, 'other']);
        $poll = static fn(string $address): string => $app->poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), $address, 0.2);
        $this->assertSame('', $poll('198.51.100.1'), 'the address has its share');
        $this->assertSame(Poller::IDLE_ANSWER, $poll('198.51.100.2'), 'the one slot of the budget was given back');
        $this->assertTrue((new HoldBudget($this->dir . '/holds', 1))->acquire(), 'and is free after the wait');
    }

    /** A poll handed on to nginx writes nothing itself: its headers must still be free to send. */
    public function testAPollHandedOnToNginxNeverWritesToItsClient(): void
    {
        $headers = [];
        $written = '';
        $config = Config::fromArray($this->configValues(['long_poll_seconds' => 25, 'held_polls_per_address' => 1]));
        $app = new App($config);
        $nchan = new NchanHold('/quorvel-wait/', null, '/wake/', function (string $line) use (&$headers): void {
            $headers[] = $line;
        });
        $poller = new Poller($app->db, $config, $app->accounts, $app->messages, $nchan);
        $app->accounts->create('a', 'b');
        $line = new ClientLine(function (string $bytes) use (&$written): bool {
            $written .= $bytes;
            return true;
        });
        // Two polls of one user from one address: both are handed on; nginx bounds the address.
        for ($i = 0; $i < 2; $i++) {
            $this->assertSame('', $poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), '198.51.100.1', null, $line));
        }
        $this->assertSame('', $written);
        $this->assertCount(2, $headers);
    }

    /**
     * The channel a poll waits on must be the one the next post to its user wakes, whatever
     * Index the client holds.
     *
     * @return array<string,array{0:int,1:int}>
     */
    public static function waits(): array
    {
        return [
            'a new client, no messages yet' => [0, 0],
            'a client that holds both messages' => [2, 2],
            'a client ahead of the database' => [2, 40],
        ];
    }

    /** @dataProvider waits */
    public function testAPollWaitsOnTheChannelTheNextPostWakes(int $posted, int $clientIndex): void
    {
        $headers = [];
        $woken = [];
        $config = Config::fromArray($this->configValues(['long_poll_seconds' => 25]));
        $app = new App($config);
        $nchan = new NchanHold('/quorvel-wait/', null, '/wake/', function (string $line) use (&$headers): void {
            $headers[] = $line;
        });
        $messages = new Messages($app->db, function (\Closure $deliveries) use (&$woken): void {
            $woken = array_merge($woken, $deliveries());
        });
        $poller = new Poller($app->db, $config, $app->accounts, $messages, $nchan);
        $id = $app->accounts->create('a', 'b');
        for ($i = 0; $i < $posted; $i++) {
            $messages->post(['a'], "m$i", 'H', 'M');
        }
        $woken = [];
        $body = $poller->answer(Http::formPairs("User=a&Pass=b&Index=$clientIndex"), 'x');
        $this->assertSame('', $body, 'the body is nginx\'s to send');
        $this->assertCount(1, $headers);
        $messages->post(['a'], 'next', 'H', 'M');
        $this->assertSame([[$id, max($posted, $clientIndex) + 1]], $woken);
        $channels = [NchanHold::channel($id, $woken[0][1] - 1, 0), NchanHold::channel($id, $woken[0][1] - 1, 1)];
        $this->assertContains(substr($headers[0], strlen('X-Accel-Redirect: /quorvel-wait/')), $channels);
        // The message announced is pending for that client now: its next poll is not handed on.
        $next = $poller->answer(Http::formPairs("User=a&Pass=b&Index=$clientIndex"), 'x');
        $this->assertStringContainsString('next', $next);
        $this->assertCount(1, $headers);
    }

    /**
     * A wait that starts as the one before ran out idle must not take that one's channel; a wait
     * that starts within the same hold time takes the same channel as others of that user.
     *
     * @return array<string,array{0:float,1:float,2:float,3:bool}>
     */
    public static function turns(): array
    {
        return [
            'the next wait after an idle one of 25 s' => [1000.0, 1025.01, 25.0, false],
            'after an idle one that started 0.1 s before a change' => [1024.9, 1049.95, 25.0, false],
            // The case left: less than the poll's turnaround before a change (about 1 in 1,000).
            'after an idle one that started 0.01 s before a change' => [1024.99, 1050.0, 25.0, true],
            'after an idle one that started just after a change' => [1025.0, 1050.02, 25.0, false],
            'a short hold time' => [7.0, 9.0, 2.0, false],
            'two waits within the same hold time' => [1000.0, 1010.0, 25.0, true],
            'a hold time under a second counts as a second' => [10.2, 10.9, 0.5, true],
        ];
    }

    /** @dataProvider turns */
    public function testAWaitAfterAnIdleOneTakesTheOtherTurn(float $first, float $second, float $hold, bool $same): void
    {
        $turns = [NchanHold::turn($first, $hold), NchanHold::turn($second, $hold)];
        $this->assertSame($same, $turns[0] === $turns[1]);
        $this->assertSame([], array_diff($turns, [0, 1]));
    }

    public function testAPostToEveryoneWakesEachRecipientOnce(): void
    {
        $app = $this->app();
        $woken = [];
        $messages = new Messages($app->db, function (\Closure $deliveries) use (&$woken): void {
            $woken[] = $deliveries();
        });
        $ids = [$app->accounts->create('a', 'p'), $app->accounts->create('b', 'p'), $app->accounts->create('c', 'p')];
        $app->accounts->setDisabled('c', true);
        $messages->post(null, 'all', 'H', 'M');
        $this->assertCount(1, $woken, 'one call per post, after its commit');
        $this->assertEqualsCanonicalizing([[$ids[0], 1], [$ids[1], 1]], $woken[0]);
    }

    /** @return array<string,array{0:bool}> */
    public static function connections(): array
    {
        return ['persistent' => [true], 'not persistent' => [false]];
    }

    /**
     * A temporary table lives as long as its connection: seen again only when the next request's
     * Database object gets the same connection.
     *
     * @dataProvider connections
     */
    public function testPersistentConnectionsAreReusedAcrossRequestsOfOneWorker(bool $persistent): void
    {
        $table = 'kept_' . bin2hex(random_bytes(4));
        $first = new Database($this->dsn, $this->dbUser, $this->dbPassword, $persistent);
        $first->pdo->exec("CREATE TEMPORARY TABLE $table (x INTEGER)");
        unset($first);
        $second = new Database($this->dsn, $this->dbUser, $this->dbPassword, $persistent);
        try {
            $second->value("SELECT COUNT(*) FROM $table");
            $seen = true;
            $second->pdo->exec("DROP TABLE $table");
        } catch (\PDOException) {
            $seen = false;
        }
        $this->assertSame($persistent, $seen);
    }

    /**
     * A publishing endpoint on a unix socket that answers 201 to each request and closes a
     * connection after it has been idle for a moment, as nginx does with kept connections.
     * Gives the file that lists the paths it was asked for.
     */
    private function startPublishEndpoint(string $socket): string
    {
        $log = $this->dir . '/published.txt';
        $code = <<<'PHP'
            [$socket, $log] = [$argv[1], $argv[2]];
            $server = stream_socket_server("unix://$socket");
            touch("$socket.ready");
            while ($connection = @stream_socket_accept($server, 20)) {
                stream_set_timeout($connection, 0, 300000);
                while (($line = fgets($connection)) !== false) {
                    $length = 0;
                    while (($header = fgets($connection)) !== false && rtrim($header) !== '') {
                        if (preg_match('/^Content-Length:\s*(\d+)/i', $header, $m)) {
                            $length = (int)$m[1];
                        }
                    }
                    $body = '';
                    while (strlen($body) < $length) {
                        $body .= fread($connection, $length - strlen($body));
                    }
                    file_put_contents($log, explode(' ', $line)[1] . "\n", FILE_APPEND);
                    file_put_contents("$log.bodies", bin2hex($body) . "\n", FILE_APPEND);
                    fwrite($connection, "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
                }
                fclose($connection);
            }
            PHP;
        $process = proc_open([PHP_BINARY, '-r', $code, $socket, $log], [0 => ['file', '/dev/null', 'r']], $pipes);
        $this->endpoints[] = $process;
        for ($i = 0; $i < 100 && !is_file("$socket.ready"); $i++) {
            usleep(20000);
        }
        $this->assertFileExists("$socket.ready", 'the publishing endpoint started');
        return $log;
    }

    /** @var list<resource> */
    private array $endpoints = [];

    protected function tearDown(): void
    {
        foreach ($this->endpoints as $process) {
            proc_terminate($process);
            proc_close($process);
        }
        $this->endpoints = [];
        parent::tearDown();
    }

    public function testWakeUpsReachEachChannelAlsoAfterTheKeptConnectionWasClosed(): void
    {
        $socket = $this->dir . '/wake.sock';
        $log = $this->startPublishEndpoint($socket);
        $nchan = new NchanHold('/quorvel-wait/', "unix://$socket");
        $rounds = [
            'pipelined on one new connection' => [
                [[7, 1], [8, 5], [9, 2]],
                ['/wake/u7i0t0', '/wake/u7i0t1', '/wake/u8i4t0', '/wake/u8i4t1', '/wake/u9i1t0', '/wake/u9i1t1'],
            ],
            'after the endpoint closed the kept connection' => [[[7, 2]], ['/wake/u7i1t0', '/wake/u7i1t1']],
            'nothing to wake' => [[], []],
        ];
        $expected = [];
        foreach ($rounds as $name => [$deliveries, $paths]) {
            $this->assertSame(count($deliveries), $nchan->wake($deliveries), $name);
            $expected = array_merge($expected, $paths);
            // Idle long enough for the endpoint to close the connection.
            usleep(500000);
        }
        $this->assertSame($expected, file($log, FILE_IGNORE_NEW_LINES));
    }

    public function testDeferredWakeUpsGoOutOnlyAtTheFlushAndThenAtOnceAgain(): void
    {
        $socket = $this->dir . '/wake.sock';
        $log = $this->startPublishEndpoint($socket);
        $nchan = new NchanHold('/quorvel-wait/', "unix://$socket");
        $published = static fn(): array => file_exists($log) ? file($log, FILE_IGNORE_NEW_LINES) : [];
        $nchan->defer();
        $steps = [
            'kept while deferred' => [fn() => $nchan->wake([[3, 1]]), 0, []],
            'kept with the earlier ones' => [fn() => $nchan->wake([[4, 7], [3, 2]]), 0, []],
            'all at the flush, in order' => [
                fn() => $nchan->flush(),
                3,
                ['/wake/u3i0t0', '/wake/u3i0t1', '/wake/u4i6t0', '/wake/u4i6t1', '/wake/u3i1t0', '/wake/u3i1t1'],
            ],
            'nothing left for a second flush' => [fn() => $nchan->flush(), 0, []],
            'at once after the flush' => [fn() => $nchan->wake([[5, 1]]), 1, ['/wake/u5i0t0', '/wake/u5i0t1']],
        ];
        $seen = 0;
        foreach ($steps as $name => [$step, $accepted, $paths]) {
            $this->assertSame($accepted, $step(), $name);
            $this->assertSame($paths, array_slice($published(), $seen), $name);
            $seen += count($paths);
        }
    }

    /** @return array<string,array{0:string|null,1:bool}> */
    public static function carriedMessages(): array
    {
        return [
            'a small message rides along' => ['<p>Paid</p>', true],
            'up to the limit' => [str_repeat('x', NchanHold::MAX_CARRIED - 100), true],
            'a larger one is fetched by the next poll' => [str_repeat('x', NchanHold::MAX_CARRIED), false],
            'no message given' => [null, false],
        ];
    }

    /**
     * The waiting poll gets the message as a poll would have answered it, with the recipient's
     * own Index (and the site's Delay); too large a message wakes with the plain wake-up.
     *
     * @dataProvider carriedMessages
     */
    public function testAWakeUpCarriesItsMessageWithEachRecipientsIndex(?string $html, bool $carried): void
    {
        $socket = $this->dir . '/wake.sock';
        $log = $this->startPublishEndpoint($socket);
        $nchan = new NchanHold('/quorvel-wait/', "unix://$socket", delay: 30);
        $message = $html === null ? null : ['header' => 'Shop', 'title' => 'Order', 'html' => $html];
        $this->assertSame(2, $nchan->wake([[3, 5], [4, 1]], $message));
        $expected = [];
        foreach ([5, 5, 1, 1] as $idx) {
            $expected[] = $carried
                ? ['Index' => (string)$idx, 'Header' => 'Shop', 'Title' => 'Order', 'Delay' => '30', 'Message' => $html]
                : ['Again' => 'Wake'];
        }
        $bodies = array_map('hex2bin', file("$log.bodies", FILE_IGNORE_NEW_LINES));
        $this->assertSame($expected, array_map(static function (string $body): array {
            $fields = [];
            foreach (array_chunk(FieldList::decode($body), 2) as [$name, $value]) {
                $fields[$name] = $value;
            }
            return $fields;
        }, $bodies));
    }

    public function testAnUnreachableEndpointLosesTheWakeUpsButNotThePost(): void
    {
        $app = $this->app(['nchan_hold_location' => '/quorvel-wait/', 'nchan_publish_address' => 'unix://' . $this->dir . '/none.sock']);
        $app->accounts->create('a', 'b');
        $logged = ini_set('error_log', $this->dir . '/php-errors.log');
        try {
            $this->assertSame(1, $app->messages->post(['a'], 'T', 'H', 'M')['deliveries']);
        } finally {
            ini_set('error_log', (string)$logged);
        }
        $this->assertStringContainsString('quorvel wake-up', (string)file_get_contents($this->dir . '/php-errors.log'));
        $this->assertStringContainsString('Title', $app->poller->answer(Http::formPairs('User=a&Pass=b&Index=0'), 'x'));
    }
}
