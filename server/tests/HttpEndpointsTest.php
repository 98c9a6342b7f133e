<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\FieldList;
use Quorvel\Server\Poller;

/** The three front controllers through `php -S`, as the client and the site reach them. */
final class HttpEndpointsTest extends ServerTestCase
{
    private function api(string $base, string $method, string $path, ?array $json = null, string $token = 'test-token'): array
    {
        [$status, $body] = self::http(
            $method,
            "$base/api.php$path",
            $json === null ? null : json_encode($json),
            ['Authorization' => "Bearer $token", 'Content-Type' => 'application/json']
        );
        return [$status, json_decode($body, true)];
    }

    public function testPollThroughTheWebServer(): void
    {
        $base = $this->startServer();
        $this->api($base, 'POST', '/users', ['name' => 'John Smith', 'password' => 'secret']);
        [$status, $answer] = $this->api($base, 'POST', '/messages', ['to' => 'John Smith', 'title' => 'Order 7', 'html' => '<p>Shipped</p>']);
        $this->assertSame(201, $status);
        $this->assertSame(1, $answer['deliveries']);
        [$status, $body] = self::http('POST', "$base/poll.php", self::pollBody('John Smith', 'secret', 0));
        $this->assertSame(200, $status);
        $strings = FieldList::decode($body);
        $this->assertSame('1', FieldList::value($strings, 'Index'));
        $this->assertSame('Order 7', FieldList::value($strings, 'Title'));
        $this->assertSame('<p>Shipped</p>', FieldList::value($strings, 'Message'));
        [, $body] = self::http('POST', "$base/poll.php", self::pollBody('John Smith', 'secret', 1));
        $this->assertSame('', $body);
        [$status] = self::http('GET', "$base/poll.php");
        $this->assertSame(405, $status);
    }

    public function testOversizedBodiesAreRefused(): void
    {
        $base = $this->startServer(['max_poll_body' => 100]);
        [$status] = self::http('POST', "$base/poll.php", 'User=a&Pass=' . str_repeat('x', 200) . '&Index=0');
        $this->assertSame(413, $status);
        [$status] = self::http(
            'POST',
            "$base/api.php/messages",
            str_repeat('x', 2000000),
            ['Authorization' => 'Bearer test-token', 'Content-Type' => 'application/json']
        );
        $this->assertSame(413, $status);
    }

    public function testLongPollWakesUpWhenAMessageArrivesAndTimesOutOtherwise(): void
    {
        $base = $this->startServer(['long_poll_seconds' => 3, 'poll_check_ms' => 100], 6);
        $held = $this->startServer(['long_poll_seconds' => 40, 'poll_check_ms' => 100], 6);
        $this->api($base, 'POST', '/users', ['name' => 'a', 'password' => 'b']);
        // Nothing arrives: held for the whole time, then the idle answer.
        [, $body, $elapsed] = self::http('POST', "$base/poll.php", self::pollBody('a', 'b', 0));
        // The same strings as the idle answer, after the empty pairs that kept the line checked.
        $this->assertSame(FieldList::decode(Poller::IDLE_ANSWER), array_values(array_filter(FieldList::decode($body), 'strlen')));
        $this->assertGreaterThan(2.9, $elapsed, 'held for its time');

        // A message posted while a poll is held is answered long before the hold runs out.
        $poll = popen(sprintf('exec %s -r %s', escapeshellarg(PHP_BINARY), escapeshellarg(
            '$t = microtime(true); $c = stream_context_create(["http" => ["method" => "POST", "header" => "Content-Type: application/x-www-form-urlencoded\r\n", "content" => "User=a&Pass=b&Index=0", "timeout" => 60]]);'
            . ' $b = file_get_contents(' . var_export("$held/poll.php", true) . ', false, $c); echo microtime(true), "\n", $b;'
        )), 'r');
        usleep(800000);
        $posted = microtime(true);
        [$status] = $this->api($base, 'POST', '/messages', ['to' => 'a', 'title' => 'Now', 'text' => 'hi']);
        $this->assertSame(201, $status);
        $out = stream_get_contents($poll);
        pclose($poll);
        [$answered, $body] = explode("\n", $out, 2);
        $this->assertSame('Now', FieldList::value(FieldList::decode($body), 'Title'));
        $latency = (float)$answered - $posted;
        $this->assertLessThan(20, $latency, 'woken by the post, not by the end of the hold');
    }

    public function testFormReplyIsStoredWithItsMessageAndAnsweredWithAPage(): void
    {
        $base = $this->startServer();
        $this->api($base, 'POST', '/users', ['name' => 'John Smith', 'password' => 'pw']);
        $this->api($base, 'POST', '/users', ['name' => 'other', 'password' => 'pw2']);
        [, $posted] = $this->api($base, 'POST', '/messages', ['to' => 'John Smith', 'title' => 'Question <1>',
            'html' => '<p>Ship now?</p><form action="reply.php"><input type=submit name=answer value="Yes please"></form>']);
        [, $body] = self::http('POST', "$base/poll.php", self::pollBody('John Smith', 'pw', 0));
        $html = FieldList::value(FieldList::decode($body), 'Message');
        $this->assertStringContainsString('<form action="reply.php"><input type="hidden" name="quorvel_message" value="' . $posted['id'] . '">', $html);

        // The client's body: credentials, then the form's lines, each form-encoded.
        $reply = 'User=John+Smith&Pass=pw&quorvel_message=' . $posted['id'] . '&answer=Yes+please&note=' . self::formEncode('<script>x</script> & more');
        [$status, $page] = self::http('POST', "$base/reply.php", $reply);
        $this->assertSame(200, $status);
        $this->assertStringContainsString('Thank you', $page);
        $this->assertStringContainsString('Question &lt;1&gt;', $page);
        $this->assertStringContainsString('&lt;script&gt;x&lt;/script&gt; &amp; more', $page);
        $this->assertStringNotContainsString('<script>', $page);

        [$status, $replies] = $this->api($base, 'GET', '/replies?since=0');
        $this->assertSame(200, $status);
        $this->assertCount(1, $replies['replies']);
        $this->assertSame('John Smith', $replies['replies'][0]['user']);
        $this->assertSame($posted['id'], $replies['replies'][0]['message_id']);
        $this->assertSame([['answer', 'Yes please'], ['note', '<script>x</script> & more']], $replies['replies'][0]['fields']);

        // Another user cannot answer a message it never received; wrong credentials store nothing.
        self::http('POST', "$base/reply.php", 'User=other&Pass=pw2&quorvel_message=' . $posted['id'] . '&answer=No');
        [$status, $page] = self::http('POST', "$base/reply.php", 'User=John+Smith&Pass=wrong&answer=No');
        $this->assertSame(200, $status);
        $this->assertStringContainsString('could not be accepted', $page);
        [, $replies] = $this->api($base, 'GET', '/replies?since=' . $replies['last_id']);
        $this->assertCount(1, $replies['replies']);
        $this->assertNull($replies['replies'][0]['message_id']);
        $this->assertSame('other', $replies['replies'][0]['user']);
    }

    public function testReplyIsPostedToTheWebHook(): void
    {
        $hookDir = $this->dir . '/hook';
        mkdir($hookDir);
        file_put_contents("$hookDir/hook.php", '<?php file_put_contents(__DIR__ . "/received.json", file_get_contents("php://input"));');
        $hookPort = self::freePort();
        $hook = proc_open([PHP_BINARY, '-S', "127.0.0.1:$hookPort", '-t', $hookDir], [0 => ['file', '/dev/null', 'r'], 1 => ['file', '/dev/null', 'w'], 2 => ['file', '/dev/null', 'w']], $pipes);
        try {
            for ($i = 0; $i < 50 && !@fsockopen('127.0.0.1', $hookPort); $i++) {
                usleep(50000);
            }
            $base = $this->startServer(['reply_webhook' => "http://127.0.0.1:$hookPort/hook.php"]);
            $this->api($base, 'POST', '/users', ['name' => 'a', 'password' => 'b']);
            self::http('POST', "$base/reply.php", 'User=a&Pass=b&choice=2');
            $received = json_decode((string)@file_get_contents("$hookDir/received.json"), true);
            $this->assertSame('a', $received['user']);
            $this->assertSame([['choice', '2']], $received['fields']);
        } finally {
            proc_terminate($hook);
            proc_close($hook);
        }
    }

    public function testApiRequiresTheBearerToken(): void
    {
        $base = $this->startServer();
        [$status] = $this->api($base, 'GET', '/users', null, 'wrong-token');
        $this->assertSame(401, $status);
        [$status] = self::http('GET', "$base/api.php/users");
        $this->assertSame(401, $status);
        [$status] = $this->api($base, 'GET', '/users');
        $this->assertSame(200, $status);
        // No token configured: the API is closed.
        $closed = $this->startServer(['api_token_hash' => null]);
        [$status] = $this->api($closed, 'GET', '/users');
        $this->assertSame(401, $status);
    }

    public function testApiPostsToOneAListOrEveryoneAndManagesUsers(): void
    {
        $base = $this->startServer();
        foreach (['ann', 'bob', 'cy'] as $name) {
            [$status] = $this->api($base, 'POST', '/users', ['name' => $name, 'password' => "pw-$name"]);
            $this->assertSame(201, $status);
        }
        [$status, $answer] = $this->api($base, 'POST', '/users', ['name' => 'ann', 'password' => 'x']);
        $this->assertSame(400, $status);
        $this->assertStringContainsString('exists', $answer['error']);

        $this->assertSame(1, $this->api($base, 'POST', '/messages', ['to' => 'ann', 'title' => 'one', 'text' => 'x'])[1]['deliveries']);
        [, $answer] = $this->api($base, 'POST', '/messages', ['to' => ['ann', 'bob', 'nobody'], 'title' => 'two', 'text' => 'x']);
        $this->assertSame(2, $answer['deliveries']);
        $this->assertSame(['nobody'], $answer['unknown']);
        [$status] = $this->api($base, 'POST', '/users/cy/disable');
        $this->assertSame(200, $status);
        $this->assertSame(2, $this->api($base, 'POST', '/messages', ['to' => '*', 'title' => 'all', 'text' => 'x'])[1]['deliveries']);
        $this->assertSame(404, $this->api($base, 'POST', '/messages', ['to' => 'cy', 'title' => 't', 'text' => 'x'])[0]);
        $this->assertSame(400, $this->api($base, 'POST', '/messages', ['to' => 'ann', 'title' => '', 'text' => 'x'])[0]);
        $this->assertSame(400, $this->api($base, 'POST', '/messages', ['to' => 'ann', 'title' => 't'])[0]);
        $this->assertSame(400, $this->api($base, 'POST', '/messages', ['to' => 5, 'title' => 't', 'text' => 'x'])[0]);
        $this->assertSame(404, $this->api($base, 'GET', '/nothing')[0]);

        [, $users] = $this->api($base, 'GET', '/users');
        $byName = array_column($users['users'], null, 'name');
        $this->assertSame(3, $byName['ann']['last_index']);
        $this->assertSame(2, $byName['bob']['last_index']);
        $this->assertTrue($byName['cy']['disabled']);

        // Plain text is escaped and wrapped as HTML.
        $this->api($base, 'POST', '/messages', ['to' => 'bob', 'title' => 'T', 'text' => "a <b> & c\nline\n\npara"]);
        [, $body] = self::http('POST', "$base/poll.php", self::pollBody('bob', 'pw-bob', 2));
        $html = FieldList::value(FieldList::decode($body), 'Message');
        $this->assertStringContainsString('<p>a &lt;b&gt; &amp; c<br>' . "\nline</p>\n<p>para</p>", $html);

        [$status] = $this->api($base, 'POST', '/users/bob/password', ['password' => 'new']);
        $this->assertSame(200, $status);
        [, $body] = self::http('POST', "$base/poll.php", self::pollBody('bob', 'pw-bob', 3));
        $this->assertSame('Unknown user name or wrong password.', FieldList::value(FieldList::decode($body), 'Deny'));
        [, $body] = self::http('POST', "$base/poll.php", self::pollBody('bob', 'new', 3));
        $this->assertSame('', $body);
    }

    /**
     * What can be answered without the database is answered before it is opened: with the
     * database unreachable, these still get their proper answers (and cost no connection).
     */
    public function testRequestsRefusedWithoutTheDatabaseNeedNone(): void
    {
        $base = $this->startServer(['dsn' => 'sqlite:/dev/null/unreachable/quorvel.sqlite']);
        $token = ['Content-Type' => 'application/json'];
        $cases = [
            'API without a token' => ['GET', '/api.php/users', null, $token, 401],
            'API with a wrong token' => ['POST', '/api.php/messages', '{}', $token + ['Authorization' => 'Bearer wrong'], 401],
            'poll with GET' => ['GET', '/poll.php', null, [], 405],
            'poll too large' => ['POST', '/poll.php', 'User=a&Pass=' . str_repeat('x', 9000), [], 413],
            'poll with an empty password' => ['POST', '/poll.php', 'User=a&Pass=&Index=0', [], 200],
            'reply with GET' => ['GET', '/reply.php', null, [], 405],
            // The proof that the database is unreachable indeed.
            'API with the token' => ['GET', '/api.php/users', null, $token + ['Authorization' => 'Bearer test-token'], 500],
        ];
        foreach ($cases as $case => [$method, $path, $body, $headers, $status]) {
            [$got, $answer] = self::http($method, $base . $path, $body, $headers);
            $this->assertSame($status, $got, "$case: $answer");
        }
        [, $answer] = self::http('POST', "$base/poll.php", 'User=a&Pass=&Index=0');
        $this->assertSame('Unknown user name or wrong password.', FieldList::value(FieldList::decode($answer), 'Deny'));
    }
}
