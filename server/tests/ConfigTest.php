<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use Quorvel\Server\Config;

final class ConfigTest extends ServerTestCase
{
    public function testDefaultsKeepTheDatabaseOutsideTheWebRootAndHoldsBelowTheClientsStall(): void
    {
        $config = Config::fromArray([]);
        $this->assertSame('sqlite:' . dirname(__DIR__) . '/var/quorvel.sqlite', $config->get('dsn'));
        $this->assertStringNotContainsString('/public/', $config->get('dsn'));
        $this->assertSame(25, $config->get('long_poll_seconds'));
        $this->assertSame(100, $config->get('poll_check_ms'));
        $this->assertNull($config->get('api_token_hash'), 'the API is closed until a token is configured');
    }

    public function testOutOfRangeValuesAreBroughtIntoRange(): void
    {
        $cases = [
            [['long_poll_seconds' => 120], 'long_poll_seconds', 50],
            [['long_poll_seconds' => -3], 'long_poll_seconds', 0],
            [['poll_check_ms' => 1], 'poll_check_ms', 10],
            [['poll_check_ms' => 60000], 'poll_check_ms', 1000],
        ];
        foreach ($cases as [$values, $key, $expected]) {
            $this->assertSame($expected, Config::fromArray($values)->get($key), json_encode($values));
        }
    }

    public function testLoadsTheFileNamedByTheEnvironmentAndRefusesUnknownKeys(): void
    {
        $file = $this->configFile(['delay' => 7]);
        putenv("QUORVEL_CONFIG=$file");
        try {
            $this->assertSame(7, Config::load()->get('delay'));
        } finally {
            putenv('QUORVEL_CONFIG');
        }
        $this->expectException(\InvalidArgumentException::class);
        Config::fromArray([])->get('no_such_key');
    }

    public function testAFileThatReturnsNoArrayIsAnError(): void
    {
        $file = $this->dir . '/broken.php';
        file_put_contents($file, "<?php\nreturn 'oops';\n");
        $this->expectException(\RuntimeException::class);
        Config::load($file);
    }
}
