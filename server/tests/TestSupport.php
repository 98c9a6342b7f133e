<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use PHPUnit\Framework\TestCase;
use Quorvel\Server\App;
use Quorvel\Server\ClientLine;
use Quorvel\Server\Config;
use Quorvel\Server\Database;

/**
 * A fresh database for every test: a SQLite file in a temporary folder, or, when
 * QUORVEL_TEST_DSN names a PostgreSQL (or MySQL) database, that database emptied first.
 */
abstract class ServerTestCase extends TestCase
{
    protected string $dir;
    protected string $dsn;
    protected ?string $dbUser;
    protected ?string $dbPassword;
    /** @var list<resource> */
    private array $servers = [];

    protected function setUp(): void
    {
        $this->dir = sys_get_temp_dir() . '/quorvel-test-' . bin2hex(random_bytes(6));
        mkdir($this->dir, 0700, true);
        $this->dsn = getenv('QUORVEL_TEST_DSN') ?: 'sqlite:' . $this->dir . '/test.sqlite';
        $this->dbUser = getenv('QUORVEL_TEST_DB_USER') ?: null;
        $this->dbPassword = getenv('QUORVEL_TEST_DB_PASSWORD') ?: null;
        if (!str_starts_with($this->dsn, 'sqlite:')) {
            $db = new Database($this->dsn, $this->dbUser, $this->dbPassword);
            if ($db->driver === 'pgsql') {
                $db->pdo->exec('DROP SCHEMA public CASCADE; CREATE SCHEMA public');
            } else {
                foreach (['replies', 'deliveries', 'messages', 'failed_logins', 'known_addresses', 'users', 'schema_migrations'] as $t) {
                    $db->pdo->exec("DROP TABLE IF EXISTS $t");
                }
            }
        }
    }

    protected function tearDown(): void
    {
        foreach ($this->servers as $server) {
            $status = proc_get_status($server);
            if ($status['running']) {
                // Its own process group: the built-in server's workers end with it.
                posix_kill(-$status['pid'], SIGTERM);
            }
            proc_close($server);
        }
        $this->servers = [];
        exec('rm -rf ' . escapeshellarg($this->dir));
    }

    public function driver(): string
    {
        return strtolower(strstr($this->dsn, ':', true));
    }

    /** @param array<string,mixed> $values */
    protected function configValues(array $values = []): array
    {
        return array_replace([
            'dsn' => $this->dsn,
            'db_user' => $this->dbUser,
            'db_password' => $this->dbPassword,
            'long_poll_seconds' => 0,
            'api_token_hash' => hash('sha256', 'test-token'),
            'secret' => str_repeat('s', 32),
            // Inside the test's folder, which tearDown removes.
            'hold_lock_dir' => $this->dir . '/holds',
        ], $values);
    }

    /** @param array<string,mixed> $values */
    protected function app(array $values = []): App
    {
        return new App(Config::fromArray($this->configValues($values)));
    }

    /** Writes a configuration file for processes (the web server, the CLI) and gives its path. */
    protected function configFile(array $values = []): string
    {
        $file = $this->dir . '/config-' . bin2hex(random_bytes(4)) . '.php';
        file_put_contents($file, "<?php\nreturn " . var_export($this->configValues($values), true) . ";\n");
        return $file;
    }

    /** Starts `php -S` on a free loopback port with that configuration; gives its base URL. */
    protected function startServer(array $values = [], int $workers = 4): string
    {
        $config = $this->configFile($values);
        $public = dirname(__DIR__) . '/public';
        for ($attempt = 0; $attempt < 5; $attempt++) {
            $port = self::freePort();
            $env = array_replace(getenv(), ['QUORVEL_CONFIG' => $config, 'PHP_CLI_SERVER_WORKERS' => (string)$workers]);
            $process = proc_open(
                ['setsid', PHP_BINARY, '-S', "127.0.0.1:$port", '-t', $public],
                [0 => ['file', '/dev/null', 'r'], 1 => ['file', $this->dir . '/server.log', 'a'], 2 => ['file', $this->dir . '/server.log', 'a']],
                $pipes,
                $public,
                $env
            );
            $this->servers[] = $process;
            $deadline = microtime(true) + 5;
            while (microtime(true) < $deadline) {
                $socket = @fsockopen('127.0.0.1', $port, $errno, $errstr, 0.2);
                if ($socket) {
                    fclose($socket);
                    return "http://127.0.0.1:$port";
                }
                if (!proc_get_status($process)['running']) {
                    break;
                }
                usleep(50000);
            }
        }
        $this->fail('php -S did not start: ' . @file_get_contents($this->dir . '/server.log'));
    }

    public static function freePort(): int
    {
        $socket = stream_socket_server('tcp://127.0.0.1:0');
        $name = stream_socket_get_name($socket, false);
        fclose($socket);
        return (int)substr($name, strrpos($name, ':') + 1);
    }

    /**
     * One HTTP request. Gives [status, body, seconds taken].
     *
     * @param array<string,string> $headers
     * @return array{0:int,1:string,2:float}
     */
    public static function http(string $method, string $url, ?string $body = null, array $headers = [], float $timeout = 30): array
    {
        $lines = '';
        foreach ($headers as $k => $v) {
            $lines .= "$k: $v\r\n";
        }
        if ($body !== null && !isset($headers['Content-Type'])) {
            $lines .= "Content-Type: application/x-www-form-urlencoded\r\n";
        }
        $context = stream_context_create(['http' => [
            'method' => $method,
            'header' => $lines,
            'content' => $body ?? '',
            'timeout' => $timeout,
            'ignore_errors' => true,
            'protocol_version' => 1.0,
        ]]);
        $start = microtime(true);
        $answer = @file_get_contents($url, false, $context);
        $elapsed = microtime(true) - $start;
        $status = 0;
        foreach ($http_response_header ?? [] as $h) {
            if (preg_match('#^HTTP/\S+ (\d{3})#', $h, $m)) {
                $status = (int)$m[1];
            }
        }
        return [$status, $answer === false ? '' : $answer, $elapsed];
    }

    /** All that a held poll sends when its line was checked $probes times before $answer. */
    public static function throughCheckedLine(string $answer, int $probes): string
    {
        $sent = '';
        $line = new ClientLine(static function (string $bytes) use (&$sent): bool {
            $sent .= $bytes;
            return true;
        });
        for ($i = 0; $i < $probes; $i++) {
            $line->alive();
        }
        return $sent . $line->finish($answer);
    }

    /** The client's poll body: User, Pass and Index, form-encoded as the client does. */
    public static function pollBody(string $user, string $pass, int $index): string
    {
        return 'User=' . self::formEncode($user) . '&Pass=' . self::formEncode($pass) . '&Index=' . $index;
    }

    /** The client's form encoding: letters and digits as they are, blank as +, the rest %XX. */
    public static function formEncode(string $value): string
    {
        $out = '';
        foreach (str_split($value) as $c) {
            $out .= $c === ' ' ? '+' : (ctype_alnum($c) ? $c : sprintf('%%%02X', ord($c)));
        }
        return $value === '' ? '' : $out;
    }

    /**
     * Runs PHP code in processes of their own with that configuration, all at once, and gives
     * what each printed, after all have ended.
     *
     * @param list<string> $codes
     * @return list<string>
     */
    protected function runPhpProcesses(array $codes, string $config): array
    {
        $running = [];
        foreach ($codes as $k => $code) {
            $file = $this->dir . "/child-$k.php";
            file_put_contents($file, "<?php\nrequire " . var_export(dirname(__DIR__) . '/src/autoload.php', true) . ";\n" . $code);
            $env = array_replace(getenv(), ['QUORVEL_CONFIG' => $config]);
            $process = proc_open([PHP_BINARY, $file], [0 => ['file', '/dev/null', 'r'], 1 => ['file', "$file.out", 'w'], 2 => ['file', "$file.err", 'w']], $pipes, null, $env);
            $running[] = [$process, $file];
        }
        $outputs = [];
        foreach ($running as [$process, $file]) {
            $code = proc_close($process);
            $this->assertSame(0, $code, "child failed: " . file_get_contents("$file.err") . file_get_contents("$file.out"));
            $outputs[] = (string)file_get_contents("$file.out");
        }
        return $outputs;
    }
}
