<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Caps the polls that wait at once in one machine's PHP workers. Each waiting poll holds an
 * exclusive lock on one of $size slot files; the kernel drops the lock when the worker ends or
 * crashes, so no count can leak.
 */
final class HoldBudget
{
    /** @var resource|null */
    private $slot = null;

    /** @param int|null $size the budget; null derives it from the pool's size on first use */
    public function __construct(private string $dir, private ?int $size = null)
    {
    }

    /**
     * The pool's size to derive a budget from: the built-in server's workers, or PHP-FPM's
     * running children (all of them under pm = static). Null when neither is known. PHP-FPM's
     * figure is read at most once a minute and kept in $dir: reading it takes a lock that
     * concurrent readers fail to get.
     */
    public function poolSize(): ?int
    {
        if (PHP_SAPI === 'cli-server') {
            return max(1, (int)getenv('PHP_CLI_SERVER_WORKERS'));
        }
        if (!function_exists('fpm_get_status')) {
            return null;
        }
        $cache = $this->dir . '/pool-size';
        $kept = @file_get_contents($cache);
        $fresh = $kept !== false && (int)@filemtime($cache) > time() - 60;
        if (!$fresh) {
            $status = @fpm_get_status();
            if (is_array($status) && (int)($status['total-processes'] ?? 0) > 0) {
                $this->makeDir();
                @file_put_contents($cache . '.' . getmypid(), (string)$status['total-processes']);
                @rename($cache . '.' . getmypid(), $cache);
                return (int)$status['total-processes'];
            }
        }
        return $kept !== false && (int)$kept > 0 ? (int)$kept : null;
    }

    private function makeDir(): void
    {
        if (!is_dir($this->dir)) {
            @mkdir($this->dir, 0700, true);
        }
    }

    /**
     * The budget for a pool: three quarters of it, leaving the rest for polls that answer at
     * once and for the site's own requests. A pool of one holds nothing.
     */
    public static function forPool(int $workers): int
    {
        return intdiv($workers * 3, 4);
    }

    /** Takes a slot; false when all are taken. */
    public function acquire(): bool
    {
        if ($this->slot !== null) {
            return true;
        }
        if ($this->size === null) {
            $pool = $this->poolSize();
            // Unknown pool (the command line, say): nothing to protect.
            if ($pool === null) {
                return true;
            }
            $this->size = self::forPool($pool);
        }
        if ($this->size <= 0) {
            return false;
        }
        $this->makeDir();
        // Start at a random slot so that workers do not all contend for the first ones.
        $start = random_int(0, $this->size - 1);
        for ($i = 0; $i < $this->size; $i++) {
            $file = @fopen($this->dir . '/slot-' . (($start + $i) % $this->size), 'c');
            if ($file === false) {
                error_log("quorvel: cannot open the held-poll slots in $this->dir: polls are answered at once");
                return false;
            }
            if (flock($file, LOCK_EX | LOCK_NB)) {
                $this->slot = $file;
                return true;
            }
            fclose($file);
        }
        return false;
    }

    public function release(): void
    {
        if ($this->slot !== null) {
            flock($this->slot, LOCK_UN);
            fclose($this->slot);
            $this->slot = null;
        }
    }
}
