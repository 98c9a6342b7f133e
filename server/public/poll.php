<?php

// The Script URL that Quorvel polls: POST User, Pass, Index (form-encoded). See docs/protocol.md.
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\App;
use Quorvel\Server\ClientLine;
use Quorvel\Server\Http;

try {
    $app = App::fromEnvironment();
    $fields = Http::formPost($app, 'text/plain; charset=utf-8', 'max_poll_body');
    if ($fields === null) {
        exit;
    }
    // The hold must end well before the client's 60-second stall time-out (docs/protocol.md).
    set_time_limit((int)$app->config->get('long_poll_seconds') + 30);
    echo $app->poller->answer($fields, Http::clientAddress($app->config), null, ClientLine::toOutput());
} catch (\Throwable $e) {
    error_log('quorvel poll: ' . $e);
    http_response_code(500);
}
