<?php

declare(strict_types=1);

// Copy to server/config.php (or point QUORVEL_CONFIG at a copy) and adjust. Every key left out
// keeps the default shown in src/Config.php. `bin/quorvel-admin init-config` writes one with a
// fresh API token and secret.
return [
    // SQLite (default: server/var/quorvel.sqlite, outside the web root), PostgreSQL or MySQL.
    'dsn' => 'sqlite:' . __DIR__ . '/var/quorvel.sqlite',
    // 'dsn' => 'pgsql:host=127.0.0.1;dbname=quorvel', 'db_user' => 'quorvel', 'db_password' => '...',
    // 'dsn' => 'mysql:host=127.0.0.1;dbname=quorvel;charset=utf8mb4', 'db_user' => 'quorvel', 'db_password' => '...',

    // Long polling: hold an idle poll this many seconds (0 = off, at most 50: the client gives up
    // on a request that receives nothing for 60 s). Each waiting client holds one PHP worker.
    'long_poll_seconds' => 25,
    'poll_check_ms' => 100,
    // Polls held at once in PHP (null: three quarters of env[QUORVEL_POOL_SIZE] in the PHP-FPM
    // pool); polls beyond it are answered at once and their clients poll at their timer.
    // 'max_held_polls' => 150,
    // nginx holds the wait instead (server/deploy/nginx-nchan.conf, docs/server.md):
    // 'nchan_hold_location' => '/quorvel-wait/',
    // 'nchan_publish_address' => 'unix:///run/quorvel-nchan.sock',

    // "Delay" sent with each message (0 = none).
    'delay' => 0,

    // sha256 of the API token: php -r 'echo hash("sha256", "YOUR-TOKEN"), "\n";'
    'api_token_hash' => null,

    // 32+ random characters; keys the short-lived cache of verified passwords.
    'secret' => null,

    // Failed log-ins per user name / per address within the window before refusing to check.
    'throttle_window_seconds' => 900,
    'throttle_user_limit' => 10,
    'throttle_address_limit' => 50,
    // Behind a reverse proxy that sets it: 'client_address_header' => 'HTTP_X_REAL_IP',

    // The page that answers form replies, and a web hook that receives each reply as JSON.
    // 'reply_template' => __DIR__ . '/templates/reply.php',
    // 'reply_webhook' => 'https://shop.example/quorvel-reply',
];
