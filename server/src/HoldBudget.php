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
     * The pool's size to derive a budget from: the built-in server's workers, or under PHP-FPM
     * QUORVEL_POOL_SIZE from the pool's configuration (env[QUORVEL_POOL_SIZE], beside
     * pm.max_children). PHP-FPM's own status is not asked: reading it from many workers at once
     * crashes some of them. Zero under PHP-FPM without it, so that a pool of unknown size is never
     * filled with held polls; null on the command line, where there is no pool.
     */
    public static function poolSize(): ?int
    {
        if (PHP_SAPI === 'cli-server') {
            return max(1, (int)getenv('PHP_CLI_SERVER_WORKERS'));
        }
        if (PHP_SAPI === 'cli') {
            return null;
        }
        $size = (int)getenv('QUORVEL_POOL_SIZE');
        if ($size <= 0) {
            static $told = false;
            if (!$told) {
                error_log('quorvel: set env[QUORVEL_POOL_SIZE] in the PHP-FPM pool (or max_held_polls): polls are not held meanwhile');
                $told = true;
            }
        }
        return max(0, $size);
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
            $pool = self::poolSize();
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
