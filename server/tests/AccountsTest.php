<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\Accounts;
use Quorvel\Server\AddressGroup;

/** Accounts: which names and passwords are taken, and who a lock-out reaches. */
final class AccountsTest extends ServerTestCase
{
    private const HOME = '198.51.100.1';
    private const LAPTOP = '198.51.100.2';
    private const GUESSER = '203.0.113.66';
    private const OFFICE = '192.0.2.10';

    public function testNewNamesThatCouldStandForAnotherOrForEveryoneAreRefused(): void
    {
        $app = $this->app();
        $cases = [
            'John Smith' => true, 'müller' => true, 'bob ' => true, 'a.b-c_d@e' => true,
            '%64ave' => false, 'dd%62' => false, 'a/b' => false, '*' => false, 'ann,bob' => false,
            "tab\tname" => false, "nul\x00" => false, "del\x7f" => false, '' => false, "caf\xE9" => false,
        ];
        foreach ($cases as $name => $accepted) {
            try {
                $app->accounts->create((string)$name, 'pw');
                $created = true;
            } catch (\InvalidArgumentException) {
                $created = false;
            }
            $this->assertSame($accepted, $created, json_encode((string)$name, JSON_INVALID_UTF8_SUBSTITUTE));
        }
    }

    public function testPasswordsBcryptWouldCutShortAreRefused(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'first');
        $cases = ['' => false, str_repeat('p', 72) => true, str_repeat('p', 73) => false, "pa\x00ss" => false, 'ok' => true];
        foreach ($cases as $password => $accepted) {
            foreach (['create', 'setPassword'] as $way) {
                try {
                    $way === 'create' ? $app->accounts->create('n' . bin2hex(random_bytes(4)), (string)$password) : $app->accounts->setPassword('a', (string)$password);
                    $taken = true;
                } catch (\InvalidArgumentException) {
                    $taken = false;
                }
                $this->assertSame($accepted, $taken, "$way " . strlen((string)$password));
            }
        }
        // No account has a zero byte in its password: one at log-in is refused, not cut short there.
        $app->accounts->setPassword('a', 'p');
        $this->assertSame(Accounts::DENIED, $app->accounts->authenticate('a', "p\x00x", self::LAPTOP)[0]);
        // An account that got a longer password before keeps logging in with it.
        $long = str_repeat('l', 80);
        $app->db->run('UPDATE users SET pass_hash = ? WHERE name = ?', [password_hash($long, PASSWORD_BCRYPT), 'a']);
        $this->assertSame(Accounts::OK, $app->accounts->authenticate('a', $long, self::HOME)[0]);
    }

    /**
     * Lock-outs reach the guessers: steps of [address, user, password or a password change,
     * expected status], with a user limit of 3 and an address limit of 5.
     */
    public function testALockOutReachesTheGuessersNotTheUserAtAKnownAddress(): void
    {
        $ok = Accounts::OK;
        $denied = Accounts::DENIED;
        $throttled = Accounts::THROTTLED;
        $wrong3 = array_fill(0, 3, [self::GUESSER, 'victim', 'wrong', $denied]);
        $scenarios = [
            'guesses elsewhere do not lock the user out at home' => [false, [
                [self::HOME, 'victim', 'right', $ok],
                ...$wrong3,
                [self::GUESSER, 'victim', 'right', $throttled],
                [self::LAPTOP, 'victim', 'right', $throttled],
                [self::HOME, 'victim', 'right', $ok],
                [self::HOME, 'victim', 'right', $ok],
            ]],
            'guessing from the known address is bounded too' => [false, [
                [self::HOME, 'victim', 'right', $ok],
                [self::HOME, 'victim', 'wrong', $denied],
                [self::HOME, 'victim', 'wrong', $denied],
                [self::HOME, 'victim', 'wrong', $denied],
                [self::HOME, 'victim', 'right', $throttled],
            ]],
            'failures behind one address lock out only those not known there' => [false, [
                [self::OFFICE, 'colleague', 'pw', $ok],
                ...array_map(static fn(int $i): array => [self::OFFICE, "guess$i", 'x', $denied], range(1, 5)),
                [self::OFFICE, 'guess6', 'x', $throttled],
                [self::OFFICE, 'newcomer', 'pw', $throttled],
                [self::OFFICE, 'colleague', 'pw', $ok],
                [self::HOME, 'newcomer', 'pw', $ok],
            ]],
            'a recently verified password passes a lock of the name, up to twice the limit' => [true, [
                [self::HOME, 'victim', 'right', $ok],
                ...$wrong3,
                [self::LAPTOP, 'victim', 'right', $ok],
                // Checked against the cache, so they count (from other addresses: the first
                // guesser's address is near its own limit).
                ['203.0.113.67', 'victim', 'wrong', $throttled],
                ['203.0.113.68', 'victim', 'wrong', $throttled],
                ['203.0.113.69', 'victim', 'wrong', $throttled],
                [self::LAPTOP, 'victim', 'right', $throttled],
                [self::HOME, 'victim', 'right', $ok],
            ]],
            'a log-in answered from the cache makes its address known as well' => [true, [
                [self::HOME, 'colleague', 'pw', $ok],
                [self::OFFICE, 'colleague', 'pw', $ok],
                ...array_map(static fn(int $i): array => [self::OFFICE, "guess$i", 'x', $denied], range(1, 5)),
                [self::OFFICE, 'newcomer', 'pw', $throttled],
                [self::OFFICE, 'colleague', 'pw', $ok],
            ]],
            'a new password makes the addresses strangers again' => [false, [
                [self::HOME, 'victim', 'right', $ok],
                ...$wrong3,
                [self::HOME, 'victim', ['new'], $ok],
                [self::HOME, 'victim', 'new', $throttled],
            ]],
        ];
        foreach ($scenarios as $scenario => [$cache, $steps]) {
            $app = $this->app(['throttle_user_limit' => 3, 'throttle_address_limit' => 5, 'secret' => $cache ? str_repeat('s', 32) : null]);
            foreach (['failed_logins', 'known_addresses', 'users'] as $table) {
                $app->db->run("DELETE FROM $table");
            }
            foreach (['victim' => 'right', 'colleague' => 'pw', 'newcomer' => 'pw'] as $name => $password) {
                $app->accounts->create($name, $password);
            }
            foreach ($steps as $k => [$address, $name, $password, $expected]) {
                if (is_array($password)) {
                    $app->accounts->setPassword($name, $password[0]);
                    continue;
                }
                $this->assertSame($expected, $app->accounts->authenticate($name, $password, $address)[0], "$scenario, step $k");
            }
        }
    }

    /** Expired entries of the credential cache and failed log-ins outside the window are not kept. */
    public function testExpiredCacheEntriesAndOldFailuresGoInNormalOperation(): void
    {
        $app = $this->app(['throttle_window_seconds' => 60]);
        foreach (['a', 'b', 'c'] as $name) {
            $app->accounts->create($name, 'pw');
            $app->accounts->authenticate($name, 'pw', self::HOME);
        }
        $this->assertSame(3, (int)$app->db->value('SELECT COUNT(*) FROM users WHERE pass_cache IS NOT NULL'));
        $app->db->run("UPDATE users SET pass_cache_until = ? WHERE name <> 'c'", [time() - 1]);
        $app->db->run('INSERT INTO failed_logins (user_name, address, created_at) VALUES (?, ?, ?)', ['old', self::GUESSER, time() - 61]);
        // A full check of another user's password sweeps the cache; a failure sweeps the failures.
        $app->accounts->create('d', 'pw');
        $app->accounts->authenticate('d', 'pw', self::HOME);
        $app->accounts->authenticate('d', 'wrong', self::GUESSER);
        $this->assertSame(['c', 'd'], $app->db->run('SELECT name FROM users WHERE pass_cache IS NOT NULL ORDER BY name')->fetchAll(\PDO::FETCH_COLUMN));
        $this->assertSame(0, (int)$app->db->value('SELECT COUNT(*) FROM users WHERE pass_cache IS NULL AND pass_cache_until <> 0'));
        $this->assertSame(['d'], $app->db->run('SELECT user_name FROM failed_logins')->fetchAll(\PDO::FETCH_COLUMN));
    }

    /** One IPv6 machine has a whole /64 to choose from: the limits count the /64 as one address. */
    public function testAnIpv6NetworkOf64BitsCountsAsOneAddress(): void
    {
        $cases = [
            '192.0.2.7' => '192.0.2.7',
            '::ffff:192.0.2.7' => '192.0.2.7',
            '2001:db8:1:2::5' => '2001:db8:1:2::/64',
            '2001:DB8:1:2:ffff:ffff:ffff:ffff' => '2001:db8:1:2::/64',
            '2001:db8:1:3::5' => '2001:db8:1:3::/64',
            'cli' => 'cli',
        ];
        foreach ($cases as $address => $group) {
            $this->assertSame($group, AddressGroup::of($address), $address);
        }
        $app = $this->app(['throttle_address_limit' => 3, 'throttle_user_limit' => 100]);
        $app->accounts->create('real', 'pw');
        for ($i = 1; $i <= 3; $i++) {
            $this->assertSame(Accounts::DENIED, $app->accounts->authenticate("guess$i", 'x', "2001:db8:1:2::$i")[0]);
        }
        $this->assertSame(Accounts::THROTTLED, $app->accounts->authenticate('real', 'pw', '2001:db8:1:2:abcd::1')[0]);
        $this->assertSame(Accounts::OK, $app->accounts->authenticate('real', 'pw', '2001:db8:1:3::1')[0]);
    }
}
