<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\App;
use Quorvel\Server\Config;
use Quorvel\Server\Http;
use Quorvel\Server\Messages;

/** The API's answers to input a site or an attacker may send, called as api.php calls it. */
final class ApiTest extends ServerTestCase
{
    /** @return array{0:int,1:array<string,mixed>} */
    private static function call(App $app, string $method, string $path, ?array $json = null): array
    {
        return $app->api->handle($method, $path, [], $json === null ? '' : json_encode($json), 'Bearer test-token');
    }

    /** Whatever is accepted is stored whole: texts that a database would cut short are refused. */
    public function testTextsThatCannotBeStoredWholeAreRefused(): void
    {
        $app = $this->app();
        $app->accounts->create('ann', 'pw');
        $long = str_repeat('t', Messages::MAX_LABEL + 1);
        $cases = [
            'zero byte in the title' => ['/messages', ['to' => 'ann', 'title' => "a\x00b", 'text' => 'x'], 400],
            'zero byte in the header' => ['/messages', ['to' => 'ann', 'title' => 't', 'header' => "h\x00", 'text' => 'x'], 400],
            'zero byte in the text' => ['/messages', ['to' => 'ann', 'title' => 't', 'text' => "before\x00after"], 400],
            'zero byte in the HTML' => ['/messages', ['to' => 'ann', 'title' => 't', 'html' => "<p>a\x00b</p>"], 400],
            'title too long' => ['/messages', ['to' => 'ann', 'title' => $long, 'text' => 'x'], 400],
            'header too long' => ['/messages', ['to' => 'ann', 'title' => 't', 'header' => $long, 'text' => 'x'], 400],
            'longest title and header' => ['/messages', ['to' => 'ann', 'title' => substr($long, 1), 'header' => substr($long, 1), 'text' => 'x'], 201],
            '"*" in a list of names' => ['/messages', ['to' => ['ann', '*'], 'title' => 't', 'text' => 'x'], 400],
            'zero byte in a new password' => ['/users', ['name' => 'bob', 'password' => "pw\x00"], 400],
            'password longer than bcrypt reads' => ['/users', ['name' => 'bob', 'password' => str_repeat('p', 73)], 400],
            'zero byte in a changed password' => ['/users/ann/password', ['password' => "\x00"], 400],
            'user named "*"' => ['/users', ['name' => '*', 'password' => 'pw'], 400],
        ];
        foreach ($cases as $case => [$path, $input, $status]) {
            $this->assertSame($status, self::call($app, 'POST', $path, $input)[0], $case);
        }
        $this->assertSame(1, (int)$app->db->value('SELECT COUNT(*) FROM messages'), 'only the one accepted message is stored');
        $this->assertNull($app->accounts->find('bob'));
    }

    /**
     * A client's Index cannot leave its user's counter without room: later posts still deliver,
     * and a post that reaches nobody is a failure, not a 201.
     */
    public function testAClientsIndexLeavesRoomForLaterMessages(): void
    {
        $app = $this->app();
        $app->accounts->create('ann', 'pw');
        $app->accounts->create('bob', 'pw');
        $cases = [
            // Index the client claims, the counter after its poll
            [40, 40],
            [2147483647, Messages::MAX_INDEX - Messages::CATCH_UP_HEADROOM],
            [5, Messages::MAX_INDEX - Messages::CATCH_UP_HEADROOM],
        ];
        foreach ($cases as [$index, $counter]) {
            $app->poller->answer(Http::formPairs(self::pollBody('ann', 'pw', $index)), '192.0.2.1', 0.0);
            $this->assertSame($counter, (int)$app->accounts->find('ann')['last_index'], "Index $index");
        }
        [$status, $answer] = self::call($app, 'POST', '/messages', ['to' => 'ann', 'title' => 't', 'text' => 'x']);
        $this->assertSame([201, 1], [$status, $answer['deliveries']]);

        // A counter one below the maximum (left so by an earlier version) takes one more message,
        // then none: said so.
        $app->db->run('UPDATE users SET last_index = ? WHERE name = ?', [Messages::MAX_INDEX - 1, 'ann']);
        $this->assertSame(201, self::call($app, 'POST', '/messages', ['to' => 'ann', 'title' => 't', 'text' => 'x'])[0]);
        [$status, $answer] = self::call($app, 'POST', '/messages', ['to' => 'ann', 'title' => 't', 'text' => 'x']);
        $this->assertSame(409, $status, json_encode($answer));
        $this->assertSame(2, (int)$app->db->value('SELECT COUNT(*) FROM messages'), 'nothing stored for it');
        $this->assertSame(201, self::call($app, 'POST', '/messages', ['to' => ['ann', 'bob'], 'title' => 't', 'text' => 'x'])[0]);
        $app->accounts->setDisabled('bob', true);
        $app->accounts->setDisabled('ann', true);
        $this->assertSame(404, self::call($app, 'POST', '/messages', ['to' => '*', 'title' => 't', 'text' => 'x'])[0], 'no enabled user');
    }

    /** Behind a proxy the client's address is the one the proxy added: the last of the list. */
    public function testTheForwardedAddressIsTheOneTheProxyAdded(): void
    {
        $config = Config::fromArray(['client_address_header' => 'HTTP_X_FORWARDED_FOR']);
        $cases = [
            '203.0.113.5' => '203.0.113.5',
            '1.2.3.4, 203.0.113.5' => '203.0.113.5',
            'spoofed, 10.0.0.1,203.0.113.5 ' => '203.0.113.5',
            '' => '192.0.2.99',
        ];
        $saved = $_SERVER;
        try {
            foreach ($cases as $header => $address) {
                $_SERVER['REMOTE_ADDR'] = '192.0.2.99';
                $_SERVER['HTTP_X_FORWARDED_FOR'] = $header;
                $this->assertSame($address, Http::clientAddress($config), $header);
            }
        } finally {
            $_SERVER = $saved;
        }
    }
}
