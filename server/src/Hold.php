<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * How a poll with nothing pending waits for the user's next message: in PHP (PhpHold) or handed
 * on to the web server (NchanHold).
 */
interface Hold
{
    /**
     * Gives the answer's body for a poll at $index with nothing pending. $lastIndex is the user's
     * highest Index as read before the look-up that found nothing, so the next message will
     * carry $lastIndex + 1. $address is the client's, for per-address limits; $line its end of
     * the connection, when the wait can watch it (the answer is then what is left to send).
     */
    public function hold(int $userId, int $index, int $lastIndex, float $seconds, string $address, ?ClientLine $line): string;
}
