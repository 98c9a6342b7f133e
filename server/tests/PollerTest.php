<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\App;
use Quorvel\Server\FieldList;
use Quorvel\Server\Http;
use Quorvel\Server\Poller;

final class PollerTest extends ServerTestCase
{
    private function poll(App $app, string $user, string $pass, int|string $index, string $address = '192.0.2.1', ?float $hold = null): string
    {
        $body = 'User=' . self::formEncode($user) . '&Pass=' . self::formEncode($pass) . '&Index=' . $index;
        return $app->poller->answer(Http::formPairs($body), $address, $hold);
    }

    /** @return array<string,string> the answer's names and values, as the client reads them */
    private static function read(string $answer): array
    {
        $strings = FieldList::decode($answer);
        $fields = [];
        foreach (['Index', 'Header', 'Title', 'Message', 'Delay', 'Deny'] as $name) {
            $fields[$name] = FieldList::value($strings, $name);
        }
        return $fields;
    }

    public function testMessagesComeOneAtATimeAboveTheGivenIndexThenAnEmptyBody(): void
    {
        $app = $this->app();
        $app->accounts->create('John Smith', 'pa ss&=%');
        $app->accounts->create('other', 'x');
        $app->messages->post(['John Smith'], 'First', 'Header 1', '<p>1</p>');
        $app->messages->post(['other'], 'Not yours', 'H', '<p>x</p>');
        $app->messages->post(['John Smith', 'other'], 'Second', 'Header 2', '<p>2</p>');

        $first = self::read($this->poll($app, 'John Smith', 'pa ss&=%', 0));
        $this->assertSame(['1', 'Header 1', 'First', '<p>1</p>', '', ''], array_values($first));
        $second = self::read($this->poll($app, 'John Smith', 'pa ss&=%', 1));
        $this->assertSame('2', $second['Index']);
        $this->assertSame('Second', $second['Title']);
        $this->assertSame('', $this->poll($app, 'John Smith', 'pa ss&=%', 2));
        // The other user has its own Index sequence.
        $this->assertSame('2', self::read($this->poll($app, 'other', 'x', 1))['Index']);
        // A client that starts over gets everything again, in order.
        $this->assertSame('1', self::read($this->poll($app, 'John Smith', 'pa ss&=%', 0))['Index']);
    }

    public function testNonNumericOrNegativeIndexCountsAsZero(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'b');
        $app->messages->post(['a'], 'T', 'H', 'M');
        $this->assertSame('1', self::read($this->poll($app, 'a', 'b', 'junk'))['Index']);
        $this->assertSame('1', self::read($this->poll($app, 'a', 'b', -5))['Index']);
    }

    public function testAClientAheadOfTheDatabaseGetsLaterMessagesAboveItsIndex(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'b');
        $this->assertSame('', $this->poll($app, 'a', 'b', 40));
        $app->messages->post(['a'], 'After reset', 'H', 'M');
        $this->assertSame('41', self::read($this->poll($app, 'a', 'b', 40))['Index']);
    }

    public function testConfiguredDelayGoesWithEveryMessage(): void
    {
        $app = $this->app(['delay' => 30]);
        $app->accounts->create('a', 'b');
        $app->messages->post(['a'], 'T', 'H', 'M');
        $this->assertSame('30', self::read($this->poll($app, 'a', 'b', 0))['Delay']);
        $this->assertSame('', $this->poll($app, 'a', 'b', 1), 'nothing pending: an empty body, without Delay');
    }

    public function testUnknownUserAndWrongPasswordGetTheSameDeny(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'right');
        $app->messages->post(['a'], 'T', 'H', 'M');
        $wrong = self::read($this->poll($app, 'a', 'wrong', 0));
        $unknown = self::read($this->poll($app, 'nobody', 'x', 0));
        $this->assertSame('Unknown user name or wrong password.', $wrong['Deny']);
        $this->assertSame($wrong, $unknown);
        $this->assertSame('', $wrong['Title'], 'a refusal carries no message');
    }

    /** A user name is its bytes on every database: no folding of case, accents or trailing blanks. */
    public function testUserNamesMatchByteForByte(): void
    {
        $app = $this->app();
        foreach (['Alice', 'alice', 'müller', 'muller', 'bob', 'bob '] as $k => $name) {
            $app->accounts->create($name, "pw$k");
        }
        $this->assertCount(6, $app->accounts->all());
        $posted = $app->messages->post(['ALICE', 'Müller', 'alice', 'bob '], 'T', 'H', 'M');
        $this->assertSame(2, $posted['deliveries']);
        $this->assertSame(['ALICE', 'Müller'], $posted['unknown']);
        $this->assertSame('1', self::read($this->poll($app, 'alice', 'pw1', 0))['Index']);
        $this->assertSame('1', self::read($this->poll($app, 'bob ', 'pw5', 0))['Index']);
        $this->assertSame('', $this->poll($app, 'Alice', 'pw0', 0));
        $this->assertSame('', $this->poll($app, 'bob', 'pw4', 0));
        $this->assertSame('Unknown user name or wrong password.', self::read($this->poll($app, 'ALICE', 'pw0', 0))['Deny']);
    }

    /** A disabled account is told so only with the right password, and only when the site chooses. */
    public function testDisabledUserIsRefused(): void
    {
        $deny = 'Unknown user name or wrong password.';
        $cases = [
            // tell_disabled, password, refusal
            [true, 'b', 'This account has been disabled.'],
            [true, 'wrong', $deny],
            [false, 'b', $deny],
            [false, 'wrong', $deny],
        ];
        foreach ($cases as [$tell, $password, $refusal]) {
            $app = $this->app(['tell_disabled' => $tell]);
            $app->db->run('DELETE FROM known_addresses');
            $app->db->run('DELETE FROM users');
            $app->accounts->create('a', 'b');
            $app->accounts->setDisabled('a', true);
            $this->assertSame($refusal, self::read($this->poll($app, 'a', $password, 0))['Deny']);
            $app->accounts->setDisabled('a', false);
            $this->assertSame('', $this->poll($app, 'a', 'b', 0));
        }
    }

    public function testRepeatedFailuresForOneUserLockItOutWithoutCheckingThePassword(): void
    {
        $app = $this->app(['throttle_user_limit' => 3, 'throttle_window_seconds' => 600]);
        $app->accounts->create('a', 'right');
        for ($i = 0; $i < 3; $i++) {
            $this->assertSame('Unknown user name or wrong password.', self::read($this->poll($app, 'a', 'wrong', 0, "198.51.100.$i"))['Deny']);
        }
        $locked = self::read($this->poll($app, 'a', 'right', 0, '203.0.113.9'));
        $this->assertSame('Too many failed log-ins. Please try again in 10 minutes.', $locked['Deny']);
        $this->assertGreaterThan(590, (int)$locked['Delay']);
        $this->assertLessThanOrEqual(600, (int)$locked['Delay']);
        // Other users are not affected.
        $app->accounts->create('b', 'pw');
        $this->assertSame('', $this->poll($app, 'b', 'pw', 0, '203.0.113.9'));
        // The lock is not extended by refused attempts: only checked passwords count.
        $this->assertSame(3, (int)$app->db->value('SELECT COUNT(*) FROM failed_logins'));
    }

    public function testRepeatedFailuresFromOneAddressLockItOut(): void
    {
        $app = $this->app(['throttle_address_limit' => 4, 'throttle_user_limit' => 100]);
        $app->accounts->create('real', 'pw');
        for ($i = 0; $i < 4; $i++) {
            $this->poll($app, "guess$i", 'x', 0, '198.51.100.7');
        }
        $this->assertStringStartsWith('Too many failed log-ins', self::read($this->poll($app, 'real', 'pw', 0, '198.51.100.7'))['Deny']);
        $this->assertSame('', $this->poll($app, 'real', 'pw', 0, '198.51.100.8'));
    }

    public function testFailuresOutsideTheWindowNoLongerCount(): void
    {
        $app = $this->app(['throttle_user_limit' => 2, 'throttle_window_seconds' => 60]);
        $app->accounts->create('a', 'pw');
        $app->db->run(
            'INSERT INTO failed_logins (user_name, address, created_at) VALUES (?, ?, ?), (?, ?, ?)',
            ['a', 'x', time() - 120, 'a', 'x', time() - 61]
        );
        $this->assertSame('', $this->poll($app, 'a', 'pw', 0));
        $this->assertSame(2, $app->accounts->pruneFailures());
    }

    public function testLongPollTimesOutWithANonMessageAnswerLongerThanOneByte(): void
    {
        $app = $this->app(['long_poll_seconds' => 25, 'poll_check_ms' => 50]);
        $app->accounts->create('a', 'b');
        $start = microtime(true);
        $answer = $this->poll($app, 'a', 'b', 0, '192.0.2.1', 0.4);
        $elapsed = microtime(true) - $start;
        $this->assertSame(Poller::IDLE_ANSWER, $answer);
        $this->assertGreaterThanOrEqual(0.39, $elapsed, 'held for its time');
        $this->assertGreaterThan(1, strlen(trim($answer, "\x00..\x20")), 'the client polls again at once');
        $fields = self::read($answer);
        $this->assertSame('', $fields['Title']);
        $this->assertSame('', $fields['Deny']);
    }

    public function testLongPollAnswersAtOnceWhenAMessageIsPending(): void
    {
        $app = $this->app(['long_poll_seconds' => 25]);
        $app->accounts->create('a', 'b');
        $app->messages->post(['a'], 'T', 'H', 'M');
        $start = microtime(true);
        $this->assertSame('1', self::read($this->poll($app, 'a', 'b', 0))['Index']);
        $this->assertLessThan(10, microtime(true) - $start, 'not held');
    }

    public function testVerifiedPasswordsAreCachedAndTheCacheFollowsPasswordChanges(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'one');
        $this->assertSame('', $this->poll($app, 'a', 'one', 0));
        $this->assertNotNull($app->db->value('SELECT pass_cache FROM users'));
        // A full check would renew the entry; a cached one leaves it as it is.
        $until = time() + 5;
        $app->db->run('UPDATE users SET pass_cache_until = ?', [$until]);
        $this->assertSame('', $this->poll($app, 'a', 'one', 0));
        $this->assertSame($until, (int)$app->db->value('SELECT pass_cache_until FROM users'));
        // Once it has run out, the password is checked in full again and remembered anew.
        $app->db->run('UPDATE users SET pass_cache_until = ?', [time() - 1]);
        $this->assertSame('', $this->poll($app, 'a', 'one', 0));
        $this->assertGreaterThan(time() + 500, (int)$app->db->value('SELECT pass_cache_until FROM users'));
        $this->assertStringStartsWith('204Deny', $this->poll($app, 'a', 'other', 0));
        $app->accounts->setPassword('a', 'two');
        $this->assertStringStartsWith('204Deny', $this->poll($app, 'a', 'one', 0));
        $this->assertSame('', $this->poll($app, 'a', 'two', 0));
    }

    public function testWithoutSecretNothingIsCached(): void
    {
        $app = $this->app(['secret' => null]);
        $app->accounts->create('a', 'one');
        $this->assertSame('', $this->poll($app, 'a', 'one', 0));
        $this->assertNull($app->db->value('SELECT pass_cache FROM users'));
    }

    public function testMessagesWithAnyBytesSurviveTheAnswer(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'b');
        // Zero bytes are refused on posting (PostgreSQL's text holds none); the rest comes through.
        $html = "<p>Grüße 99 \r\n\x01\x7f \u{2615}\u{1F600} " . str_repeat('9', 1000) . '</p>';
        $app->messages->post(['a'], "Ünïcode 9 \u{1F4E6}", str_repeat('h', 99), $html);
        $fields = self::read($this->poll($app, 'a', 'b', 0));
        $this->assertSame($html, $fields['Message']);
        $this->assertSame(str_repeat('h', 99), $fields['Header']);
        $this->assertSame("Ünïcode 9 \u{1F4E6}", $fields['Title']);
    }

    public function testTheClientsIndexIsKeptAsWhatItHolds(): void
    {
        $app = $this->app();
        $app->accounts->create('a', 'b');
        foreach (['one', 'two', 'three'] as $title) {
            $app->messages->post(['a'], $title, 'H', 'M');
        }
        $this->assertSame([], $app->accounts->received('a'));
        $this->poll($app, 'a', 'b', 0);
        $this->poll($app, 'a', 'b', 2);
        // Recorded once the client has caught up; the polls of a burst write nothing.
        $this->assertSame([], $app->accounts->received('a'));
        $this->poll($app, 'a', 'b', 3);
        $this->assertSame(['one', 'two', 'three'], array_column($app->accounts->received('a'), 'title'));
        $this->assertSame(3, (int)$app->accounts->all()[0]['acked_index']);
    }

    /** Names that cannot be a user's (not UTF-8, too long) are refused and counted like others. */
    public function testUnusableUserNamesAreRefusedAndThrottled(): void
    {
        $app = $this->app(['throttle_user_limit' => 2]);
        foreach (["caf\xE9", str_repeat('n', 300), "tab\tname"] as $name) {
            for ($i = 0; $i < 2; $i++) {
                $this->assertSame('Unknown user name or wrong password.', self::read($this->poll($app, $name, 'x', 0))['Deny']);
            }
            $this->assertStringStartsWith('Too many failed log-ins', self::read($this->poll($app, $name, 'x', 0))['Deny']);
        }
    }
}
