<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\Database;

/** Several processes at once: no Index handed out twice for one user, no delivery lost. */
final class ConcurrencyTest extends ServerTestCase
{
    public function testConcurrentPostsFromSeveralProcessesGiveEveryUserAGaplessUniqueIndexSequence(): void
    {
        $app = $this->app();
        foreach (['a', 'b', 'c'] as $name) {
            $app->accounts->create($name, 'pw');
        }
        $config = $this->configFile();
        $processes = 6;
        $each = 40;
        $codes = [];
        for ($p = 0; $p < $processes; $p++) {
            $codes[] = <<<PHP
                \$app = Quorvel\Server\App::fromEnvironment();
                for (\$i = 0; \$i < $each; \$i++) {
                    // Alternate a single user, a list and everyone.
                    \$to = [['a'], ['a', 'b'], null][\$i % 3];
                    \$r = \$app->messages->post(\$to, "p$p m\$i", 'h', 'm');
                    echo \$r['deliveries'], "\\n";
                }
                PHP;
        }
        $outputs = $this->runPhpProcesses($codes, $config);
        $reported = array_sum(array_map(static fn(string $o): int => array_sum(array_map('intval', array_filter(explode("\n", $o), 'strlen'))), $outputs));

        $rows = $app->db->run('SELECT u.name, d.idx FROM deliveries d JOIN users u ON u.id = d.user_id ORDER BY u.name, d.idx')->fetchAll();
        $byUser = [];
        foreach ($rows as $row) {
            $byUser[$row['name']][] = (int)$row['idx'];
        }
        $perProcess = ['a' => $each, 'b' => 0, 'c' => 0];
        for ($i = 0; $i < $each; $i++) {
            $perProcess['b'] += $i % 3 >= 1 ? 1 : 0;
            $perProcess['c'] += $i % 3 === 2 ? 1 : 0;
        }
        foreach ($perProcess as $name => $count) {
            $expected = range(1, $count * $processes);
            $this->assertSame($expected, $byUser[$name], "user $name: every Index once, none missing");
            $this->assertSame($count * $processes, (int)$app->db->value('SELECT last_index FROM users WHERE name = ?', [$name]));
        }
        $this->assertSame(count($rows), $reported);
        $this->assertSame($processes * $each, (int)$app->db->value('SELECT COUNT(*) FROM messages'));
    }

    /**
     * Posts to different users at the same time, each the first to its user. They share no
     * user's lock, so only the database's own locking of the deliveries table keeps them apart;
     * the users' ids interleave across the processes, so that every post is made next to the
     * others at the end of that table (where MySQL's gap locks could deadlock them).
     */
    public function testConcurrentFirstPostsToDifferentUsersAllArrive(): void
    {
        $app = $this->app();
        $processes = 6;
        $each = 60;
        for ($k = 0; $k < $processes * $each; $k++) {
            // Straight into the table: a password is not needed to receive, and hashing one
            // for each of these users would take most of the test's time.
            $app->db->run('INSERT INTO users (name, pass_hash, created_at) VALUES (?, ?, ?)', ["u$k", '-', time()]);
        }
        $config = $this->configFile();
        // All start together, whenever each process itself is ready.
        $start = microtime(true) + 2;
        $codes = [];
        for ($p = 0; $p < $processes; $p++) {
            $codes[] = <<<PHP
                \$app = Quorvel\Server\App::fromEnvironment();
                usleep(max(0, (int)(($start - microtime(true)) * 1e6)));
                for (\$k = $p; \$k < $processes * $each; \$k += $processes) {
                    \$app->messages->post(["u\$k"], "to u\$k", 'h', 'm');
                }
                PHP;
        }
        $this->runPhpProcesses($codes, $config);

        $rows = $app->db->run('SELECT u.name, d.idx, m.title FROM deliveries d JOIN users u ON u.id = d.user_id'
            . ' JOIN messages m ON m.id = d.message_id')->fetchAll();
        $delivered = [];
        foreach ($rows as $row) {
            $delivered[$row['name']] = [(int)$row['idx'], $row['title']];
        }
        $this->assertCount($processes * $each, $rows);
        for ($k = 0; $k < $processes * $each; $k++) {
            $this->assertSame([1, "to u$k"], $delivered["u$k"] ?? null, "u$k");
        }
    }

    public function testConcurrentFirstRequestsMigrateTheDatabaseOnce(): void
    {
        $config = $this->configFile();
        $code = '$app = Quorvel\Server\App::fromEnvironment(); echo $app->db->schemaVersion();';
        $outputs = $this->runPhpProcesses(array_fill(0, 5, $code), $config);
        $migrations = count(Database::migrationFiles());
        foreach ($outputs as $output) {
            $this->assertSame((string)max(array_keys(Database::migrationFiles())), $output);
        }
        $app = $this->app();
        $this->assertSame($migrations, (int)$app->db->value('SELECT COUNT(*) FROM schema_migrations'));
        $this->assertSame(0, $app->db->migrate(), 'nothing left to apply');
    }

    /**
     * A held poll wakes for a post made by another process, long before its hold runs out: on
     * SQLite by its next look-up, on PostgreSQL by NOTIFY (its own look-ups are set 30 s apart
     * here, so only the notification can wake it in time).
     */
    public function testAHeldPollWakesForAPostFromAnotherProcess(): void
    {
        $app = $this->app(['poll_check_ms' => 100]);
        $app->accounts->create('a', 'pw');
        $app->accounts->create('b', 'pw');
        $config = $this->configFile();
        $file = $this->dir . '/poster.php';
        file_put_contents($file, "<?php\nrequire " . var_export(dirname(__DIR__) . '/src/autoload.php', true) . ";\n"
            . '$app = Quorvel\Server\App::fromEnvironment(); usleep(300000);'
            . ' $app->messages->post(["b"], "not for a", "h", "m"); usleep(200000);'
            . ' $app->messages->post(["a"], "for a", "h", "m"); echo microtime(true);');
        $poster = proc_open([PHP_BINARY, $file], [1 => ['pipe', 'w']], $pipes, null, array_replace(getenv(), ['QUORVEL_CONFIG' => $config]));
        $message = $app->messages->wait((int)$app->accounts->find('a')['id'], 0, 60.0, 100, 30.0);
        $woken = microtime(true);
        $posted = (float)stream_get_contents($pipes[1]);
        proc_close($poster);
        $this->assertNotNull($message);
        $this->assertSame('for a', $message['title']);
        $this->assertLessThan(15, $woken - $posted, 'woken by the post, not by a look-up or the end of the hold');
    }
}
