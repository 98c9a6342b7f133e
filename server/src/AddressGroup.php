<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * What counts as one address for the limits: an IPv4 address, or an IPv6 network of 64 bits
 * (one machine usually has a whole /64 to choose from).
 */
final class AddressGroup
{
    public static function of(string $address): string
    {
        $bytes = @inet_pton($address);
        if ($bytes === false || strlen($bytes) !== 16) {
            return $address;
        }
        if (str_starts_with($bytes, str_repeat("\0", 10) . "\xff\xff")) {
            // An IPv4 address written as IPv6.
            return (string)inet_ntop(substr($bytes, 12));
        }
        return inet_ntop(substr($bytes, 0, 8) . str_repeat("\0", 8)) . '/64';
    }
}
