<?php

declare(strict_types=1);

namespace Quorvel\Server;

use PDO;

/**
 * The PDO connection, the schema migrations and the transactions that write.
 */
final class Database
{
    public readonly PDO $pdo;
    public readonly string $driver;

    /**
     * Each driver's words for the placeholders of the migrations. On MySQL a user name is
     * compared byte for byte as elsewhere (its text collations ignore case, accents and
     * trailing blanks), and the tables state their engine and character set rather than
     * taking the server's defaults (MyISAM has no transactions; latin1 and utf8mb3 hold no
     * emoji).
     */
    private const TYPES = [
        'sqlite' => [
            '{{id}}' => 'INTEGER PRIMARY KEY AUTOINCREMENT',
            '{{text}}' => 'TEXT',
            '{{bigint}}' => 'INTEGER',
            '{{name}}' => 'VARCHAR(190)',
            '{{table}}' => '',
        ],
        'pgsql' => [
            '{{id}}' => 'BIGSERIAL PRIMARY KEY',
            '{{text}}' => 'TEXT',
            '{{bigint}}' => 'BIGINT',
            '{{name}}' => 'VARCHAR(190)',
            '{{table}}' => '',
        ],
        'mysql' => [
            '{{id}}' => 'BIGINT AUTO_INCREMENT PRIMARY KEY',
            '{{text}}' => 'LONGTEXT',
            '{{bigint}}' => 'BIGINT',
            '{{name}}' => 'VARBINARY(190)',
            '{{table}}' => 'ENGINE=InnoDB DEFAULT CHARSET=utf8mb4',
        ],
    ];

    /**
     * $persistent keeps the connection open for the next request of the same PHP worker. On
     * PostgreSQL and MySQL that saves the connection's set-up; on SQLite it keeps the
     * write-ahead log from being folded back and removed whenever the last connection closes,
     * which makes the next write pay an fsync.
     */
    public function __construct(string $dsn, ?string $user = null, ?string $password = null, bool $persistent = false)
    {
        $this->driver = strtolower(strstr($dsn, ':', true) ?: '');
        if (!isset(self::TYPES[$this->driver])) {
            throw new \InvalidArgumentException("unsupported database driver in $dsn");
        }
        if ($this->driver === 'sqlite') {
            $path = substr($dsn, 7);
            if ($path !== '' && $path !== ':memory:' && !is_dir(dirname($path))) {
                mkdir(dirname($path), 0770, true);
            }
        }
        $this->pdo = new PDO($dsn, $user, $password, [
            PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION,
            PDO::ATTR_DEFAULT_FETCH_MODE => PDO::FETCH_ASSOC,
            PDO::ATTR_EMULATE_PREPARES => false,
            PDO::ATTR_STRINGIFY_FETCHES => false,
            PDO::ATTR_PERSISTENT => $persistent,
        ]);
        if ($persistent && $this->driver === 'pgsql') {
            // A request that died between LISTEN and UNLISTEN left its connection listening.
            $this->pdo->exec('UNLISTEN *');
        }
        if ($persistent && $this->driver === 'sqlite') {
            // A request that died inside BEGIN IMMEDIATE (which PDO does not track) left its
            // connection holding the write lock.
            try {
                $this->pdo->exec('ROLLBACK');
            } catch (\PDOException) {
            }
        }
        if ($this->driver === 'sqlite') {
            $this->pdo->exec('PRAGMA busy_timeout = 10000');
            $this->pdo->exec('PRAGMA journal_mode = WAL');
            $this->pdo->exec('PRAGMA synchronous = NORMAL');
            $this->pdo->exec('PRAGMA foreign_keys = ON');
        } elseif ($this->driver === 'mysql') {
            $this->pdo->exec('SET NAMES utf8mb4');
            // Strict: a text the column cannot hold (not UTF-8) is refused, not cut short.
            $this->pdo->exec("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
            // Under REPEATABLE READ the look-ups of a post lock the gaps between deliveries too,
            // and two posts to different users can deadlock on one gap; the users' row locks
            // already keep posts to one user apart.
            $this->pdo->exec('SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED');
        }
    }

    public static function fromConfig(Config $config, bool $migrate = true): self
    {
        // A command-line process serves one request: nothing to keep, and its objects must not
        // share one connection's transaction.
        $persistent = (bool)$config->get('db_persistent') && PHP_SAPI !== 'cli';
        $db = new self($config->get('dsn'), $config->get('db_user'), $config->get('db_password'), $persistent);
        if ($migrate) {
            $db->migrate();
        }
        return $db;
    }

    /**
     * Runs $work in a write transaction and gives its result. On SQLite the transaction takes the
     * write lock at once (BEGIN IMMEDIATE), so that concurrent writers queue on the busy time-out
     * instead of failing when they upgrade a read lock.
     *
     * @template T
     * @param callable():T $work
     * @return T
     */
    public function transaction(callable $work): mixed
    {
        if ($this->driver === 'sqlite') {
            $this->pdo->exec('BEGIN IMMEDIATE');
        } else {
            $this->pdo->beginTransaction();
        }
        try {
            $result = $work();
            if ($this->driver === 'sqlite') {
                $this->pdo->exec('COMMIT');
            } else {
                $this->pdo->commit();
            }
            return $result;
        } catch (\Throwable $e) {
            if ($this->driver === 'sqlite') {
                $this->pdo->exec('ROLLBACK');
            } elseif ($this->pdo->inTransaction()) {
                $this->pdo->rollBack();
            }
            throw $e;
        }
    }

    /** @param array<int|string,mixed> $params */
    public function run(string $sql, array $params = []): \PDOStatement
    {
        $statement = $this->pdo->prepare($sql);
        $statement->execute($params);
        return $statement;
    }

    /** @param array<int|string,mixed> $params @return array<string,mixed>|null */
    public function row(string $sql, array $params = []): ?array
    {
        $row = $this->run($sql, $params)->fetch();
        return $row === false ? null : $row;
    }

    /** @param array<int|string,mixed> $params */
    public function value(string $sql, array $params = []): mixed
    {
        $value = $this->run($sql, $params)->fetchColumn();
        return $value === false ? null : $value;
    }

    /** The migrations in server/migrations, by number. @return array<int,string> */
    public static function migrationFiles(): array
    {
        $files = [];
        foreach (glob(dirname(__DIR__) . '/migrations/*.sql') ?: [] as $file) {
            if (preg_match('/^(\d+)_/', basename($file), $m)) {
                $files[(int)$m[1]] = $file;
            }
        }
        ksort($files);
        return $files;
    }

    public function schemaVersion(): int
    {
        try {
            return (int)$this->value('SELECT MAX(version) FROM schema_migrations');
        } catch (\PDOException) {
            return 0;
        }
    }

    /**
     * Applies every migration not yet applied, each in a transaction of its own except on
     * MySQL, which commits DDL at once (there a failed migration may leave part of itself
     * behind). Concurrent callers wait for each other. Gives the number applied.
     */
    public function migrate(): int
    {
        $files = self::migrationFiles();
        $latest = $files ? max(array_keys($files)) : 0;
        if ($this->schemaVersion() >= $latest) {
            return 0;
        }
        $applied = 0;
        $this->withMigrationLock(function () use ($files, &$applied): void {
            $this->pdo->exec('CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, applied_at BIGINT NOT NULL)');
            foreach ($files as $version => $file) {
                $sql = strtr((string)file_get_contents($file), self::TYPES[$this->driver]);
                $apply = function () use ($sql, $version, &$applied): void {
                    // Looked at again under the lock: another process may have applied it.
                    if ($this->value('SELECT COUNT(*) FROM schema_migrations WHERE version = ?', [$version])) {
                        return;
                    }
                    foreach (self::statements($sql) as $statement) {
                        $this->pdo->exec($statement);
                    }
                    $this->run('INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)', [$version, time()]);
                    $applied++;
                };
                // MySQL ends a transaction at its first CREATE (and a commit would then fail):
                // there the migration lock alone keeps concurrent callers apart.
                if ($this->driver === 'mysql') {
                    $apply();
                } else {
                    $this->transaction($apply);
                }
            }
        });
        return $applied;
    }

    private function withMigrationLock(callable $work): void
    {
        switch ($this->driver) {
            case 'pgsql':
                $this->value('SELECT pg_advisory_lock(7231997)');
                try {
                    $work();
                } finally {
                    $this->value('SELECT pg_advisory_unlock(7231997)');
                }
                return;
            case 'mysql':
                $this->value("SELECT GET_LOCK('quorvel_migrate', 60)");
                try {
                    $work();
                } finally {
                    $this->value("SELECT RELEASE_LOCK('quorvel_migrate')");
                }
                return;
            default:
                // SQLite: each migration runs under BEGIN IMMEDIATE, which serialises writers,
                // and looks again inside it whether it is still needed.
                $work();
        }
    }

    /** Splits a migration into statements at semicolons that end a line; drops comments. @return list<string> */
    public static function statements(string $sql): array
    {
        $sql = preg_replace('/^\s*--.*$/m', '', $sql) ?? '';
        $parts = preg_split('/;\s*$/m', $sql) ?: [];
        return array_values(array_filter(array_map('trim', $parts), static fn(string $s): bool => $s !== ''));
    }
}
