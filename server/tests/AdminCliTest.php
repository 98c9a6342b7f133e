<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\Database;

use Quorvel\Server\FieldList;
use Quorvel\Server\Http;

final class AdminCliTest extends ServerTestCase
{
    private string $config;

    protected function setUp(): void
    {
        parent::setUp();
        $this->config = $this->configFile();
    }

    /** @return array{0:int,1:string,2:string} exit code, output, errors */
    private function admin(array $args, string $stdin = ''): array
    {
        $command = array_merge([PHP_BINARY, dirname(__DIR__) . '/bin/quorvel-admin', '--config', $this->config], $args);
        $process = proc_open($command, [0 => ['pipe', 'r'], 1 => ['pipe', 'w'], 2 => ['pipe', 'w']], $pipes);
        fwrite($pipes[0], $stdin);
        fclose($pipes[0]);
        $out = stream_get_contents($pipes[1]);
        $err = stream_get_contents($pipes[2]);
        fclose($pipes[1]);
        fclose($pipes[2]);
        return [proc_close($process), $out, $err];
    }

    public function testInitUsersPostRepliesAndPrune(): void
    {
        $latest = max(array_keys(Database::migrationFiles()));
        $this->assertSame([0, "schema version $latest ({$this->driver()})\n", ''], $this->admin(['init']));
        $this->assertSame(0, $this->admin(['user-add', 'ann'], "pw one\n")[0]);
        $this->assertSame(1, $this->admin(['user-add', 'ann'], "pw\n")[0]);
        $this->assertSame(1, $this->admin(['user-add', 'bob'], "")[0], 'an empty password is refused');
        $this->assertSame(0, $this->admin(['user-add', 'bob'], "pw2\n")[0]);
        [$code, $out] = $this->admin(['post', '--to', 'ann', '--title', 'From a file', '--text', '-'], "Hello <you>\n");
        $this->assertSame(0, $code);
        $this->assertSame("message 1: 1 deliveries\n", $out);
        $this->assertSame("message 2: 2 deliveries\n", $this->admin(['post', '--all', '--title', 'All', '-'], '<p>x</p>')[1]);
        [$code, , $err] = $this->admin(['post', '--to', 'ann,ghost', '--title', 'T', '-'], 'x');
        $this->assertSame(0, $code);
        $this->assertStringContainsString('ghost', $err);

        $app = $this->app();
        $answer = $app->poller->answer(Http::formPairs('User=ann&Pass=pw+one&Index=0'), 'x');
        $this->assertStringContainsString('Hello &lt;you&gt;', FieldList::value(FieldList::decode($answer), 'Message'));

        $this->assertSame(0, $this->admin(['user-password', 'ann'], "pw three\n")[0]);
        $this->assertSame('', $app->poller->answer(Http::formPairs('User=ann&Pass=pw+three&Index=3'), 'x'));
        $this->assertSame(0, $this->admin(['user-disable', 'bob'])[0]);
        $this->assertStringContainsString("bob                      disabled", $this->admin(['users'])[1]);
        $this->assertSame(1, $this->admin(['user-disable', 'nobody'])[0]);

        $app->replies->handle(Http::formPairs('User=ann&Pass=pw+three&quorvel_message=1&answer=Yes'), 'x');
        [$code, $out] = $this->admin(['replies']);
        $this->assertSame(0, $code);
        $this->assertMatchesRegularExpression('/^#1 \S+ \S+ ann message 1: answer=Yes$/m', $out);
        $this->assertSame('Yes', json_decode($this->admin(['replies', '--json'])[1], true)[0]['fields'][0][1]);

        $app->db->run('UPDATE deliveries SET created_at = created_at - 40 * 86400 WHERE message_id = 1');
        $app->db->run('UPDATE messages SET created_at = created_at - 40 * 86400 WHERE id = 1');
        $this->assertSame("removed 1 deliveries, 1 messages, 0 failed log-ins\n", $this->admin(['prune', '--days', '30'])[1]);
        // Indexes keep growing after a prune.
        $this->assertSame(0, $this->admin(['post', '--to', 'ann', '--title', 'T', '-'], 'x')[0]);
        $this->assertSame(4, (int)$app->db->value("SELECT MAX(idx) FROM deliveries d JOIN users u ON u.id = d.user_id WHERE u.name = 'ann'"));
    }

    public function testTokenAndInitConfig(): void
    {
        [$code, $out] = $this->admin(['token']);
        $this->assertSame(0, $code);
        $this->assertMatchesRegularExpression('/^token: (\S+)\napi_token_hash: ([0-9a-f]{64})\n$/', $out);
        preg_match('/^token: (\S+)\napi_token_hash: (\S+)/', $out, $m);
        $this->assertSame(hash('sha256', $m[1]), $m[2]);

        $file = $this->dir . '/written.php';
        [$code, $out] = $this->admin(['init-config', $file, '--dsn', 'sqlite:' . $this->dir . '/other.sqlite']);
        $this->assertSame(0, $code);
        preg_match('/API token.*: (\S+)$/m', $out, $m);
        $values = require $file;
        $this->assertSame(hash('sha256', $m[1]), $values['api_token_hash']);
        $this->assertSame(64, strlen($values['secret']));
        $this->assertSame(0600, fileperms($file) & 0777);
        $this->assertSame(1, $this->admin(['init-config', $file])[0], 'an existing file is kept');
        // A configuration that cannot be written gives no token: it would be stored nowhere.
        [$code, $out, $err] = $this->admin(['init-config', $this->dir . '/missing/config.php']);
        $this->assertSame([1, ''], [$code, $out]);
        $this->assertStringContainsString('cannot write', $err);
    }

    public function testHelpAndUnknownCommand(): void
    {
        $this->assertStringContainsString('Usage: quorvel-admin', $this->admin(['help'])[1]);
        $this->assertSame(2, $this->admin(['frobnicate'])[0]);
    }
}
