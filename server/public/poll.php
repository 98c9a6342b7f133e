<?php

// The Script URL that Quorvel polls: POST User, Pass, Index (form-encoded). See docs/protocol.md.
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\App;
use Quorvel\Server\Http;

Http::noCache();
header('Content-Type: text/plain; charset=utf-8');
if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'POST') {
    http_response_code(405);
    header('Allow: POST');
    exit;
}
try {
    $app = App::fromEnvironment();
    $body = Http::body((int)$app->config->get('max_poll_body'));
    if ($body === null) {
        http_response_code(413);
        exit;
    }
    // The hold must end well before the client's 60-second stall time-out (docs/protocol.md).
    set_time_limit((int)$app->config->get('long_poll_seconds') + 30);
    ignore_user_abort(false);
    echo $app->poller->answer(Http::formPairs($body), Http::clientAddress($app->config));
} catch (\Throwable $e) {
    error_log('quorvel poll: ' . $e);
    http_response_code(500);
}
