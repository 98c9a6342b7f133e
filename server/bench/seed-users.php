<?php

// Adds the load client's users u1..uN (password "pw") to the database of a configuration, all
// at once, with their verified passwords already remembered: a site whose clients are online
// and logged in, without paying for one bcrypt check per user first.
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\App;

$count = (int)($argv[1] ?? 0);
$app = App::fromEnvironment();
$app->db->migrate();
$hash = password_hash('pw', PASSWORD_DEFAULT);
$secret = (string)$app->config->get('secret');
$until = time() + 86400;
$app->db->transaction(function () use ($app, $count, $hash, $secret, $until): void {
    for ($i = 1; $i <= $count; $i++) {
        $app->db->run(
            'INSERT INTO users (name, pass_hash, disabled, last_index, created_at) VALUES (?, ?, 0, 0, ?)',
            ["u$i", $hash, time()]
        );
        $id = (int)$app->db->value('SELECT id FROM users WHERE name = ?', ["u$i"]);
        // The same key Accounts stores after a successful check.
        $cache = hash_hmac('sha256', $id . "\0" . $hash . "\0" . 'pw', $secret);
        $app->db->run('UPDATE users SET pass_cache = ?, pass_cache_until = ? WHERE id = ?', [$cache, $until, $id]);
    }
});
echo "$count\n";
