<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Waits in the PHP worker itself, within a budget: a poll beyond the budget gets the empty
 * answer at once, so that its client falls back to its timer instead of queueing for a worker
 * that the held polls keep busy. Within the budget the wait follows HeldPolls' rules (one per
 * user, a bounded number per address, an end when the client has gone), so that one customer
 * cannot take the budget either.
 */
final class PhpHold implements Hold
{
    public function __construct(private HeldPolls $heldPolls, private int $delay, private HoldBudget $budget)
    {
    }

    /** The budget the configuration asks for: a number, or null to derive it from the pool. */
    public static function fromConfig(HeldPolls $heldPolls, Config $config): self
    {
        $size = $config->get('max_held_polls');
        $budget = new HoldBudget(self::slotFolder($config), $size === null ? null : (int)$size);
        return new self($heldPolls, (int)$config->get('delay'), $budget);
    }

    /**
     * Where the slots lie: hold_lock_dir, else beside an SQLite database file (the PHP user
     * writes that folder anyway, and whoever removes the database removes them too), else a
     * folder of the system's temporary folder named after the database.
     */
    public static function slotFolder(Config $config): string
    {
        $dir = $config->get('hold_lock_dir');
        if ($dir !== null) {
            return (string)$dir;
        }
        $dsn = (string)$config->get('dsn');
        if (str_starts_with($dsn, 'sqlite:')) {
            $file = substr($dsn, 7);
            if ($file !== '' && $file !== ':memory:' && !str_starts_with($file, 'file:')) {
                return dirname($file) . '/' . basename($file) . '.holds';
            }
        }
        return sys_get_temp_dir() . '/quorvel-holds-' . substr(hash('sha256', $dsn), 0, 16);
    }

    public function hold(int $userId, int $index, int $lastIndex, float $seconds, string $address, ?ClientLine $line): string
    {
        if (!$this->budget->acquire()) {
            return '';
        }
        try {
            // The database is not held while waiting beyond the short look-ups themselves.
            $message = $this->heldPolls->wait($userId, $index, $seconds, $address, $line, $waited);
        } finally {
            $this->budget->release();
        }
        if ($message === null) {
            // An address with its share of waiting polls already gets the empty answer: its
            // client polls again at its timer.
            return $waited ? ($line?->finish(Poller::IDLE_ANSWER) ?? Poller::IDLE_ANSWER) : '';
        }
        $answer = Poller::encodeMessage($message, $this->delay);
        return $line?->finish($answer) ?? $answer;
    }
}
