<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * Waits in the PHP worker itself, within a budget: a poll beyond the budget gets the empty
 * answer at once, so that its client falls back to its timer instead of queueing for a worker
 * that the held polls keep busy.
 */
final class PhpHold implements Hold
{
    public function __construct(private Messages $messages, private int $checkMs, private int $delay, private HoldBudget $budget)
    {
    }

    /** The budget the configuration asks for: a number, or null to derive it from the pool. */
    public static function fromConfig(Messages $messages, Config $config): self
    {
        $size = $config->get('max_held_polls');
        $dir = $config->get('hold_lock_dir')
            ?? sys_get_temp_dir() . '/quorvel-holds-' . substr(hash('sha256', (string)$config->get('dsn')), 0, 16);
        $budget = new HoldBudget($dir, $size === null ? null : (int)$size);
        return new self($messages, (int)$config->get('poll_check_ms'), (int)$config->get('delay'), $budget);
    }

    public function hold(int $userId, int $index, int $lastIndex, float $seconds): string
    {
        if (!$this->budget->acquire()) {
            return '';
        }
        try {
            $message = $this->messages->wait($userId, $index, $seconds, $this->checkMs);
        } finally {
            $this->budget->release();
        }
        return $message === null ? Poller::IDLE_ANSWER : Poller::encodeMessage($message, $this->delay);
    }
}
