<?php

// The Script URL that Quorvel polls: POST User, Pass, Index (form-encoded). See docs/protocol.md.
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\Accounts;
use Quorvel\Server\App;
use Quorvel\Server\ClientLine;
use Quorvel\Server\Config;
use Quorvel\Server\FieldList;
use Quorvel\Server\Http;

try {
    // What needs no database is checked before it is opened.
    $config = Config::load();
    $fields = Http::formPost($config, 'text/plain; charset=utf-8', 'max_poll_body');
    if ($fields === null) {
        exit;
    }
    $queued = Http::queuedSeconds() ?? 0.0;
    if ($queued > (float)$config->get('poll_queue_seconds')) {
        // Late already: the empty answer sends the client to its timer, and the next poll in the
        // queue gets a worker at once.
        exit;
    }
    if (!Accounts::usablePassword(Http::field($fields, 'Pass'))) {
        // No account has such a password: refused as a wrong one, without a look-up.
        echo FieldList::encode(['Deny' => $config->get('deny_text')]);
        exit;
    }
    $app = new App($config);
    // The hold must end well before the client's 60-second stall time-out (docs/protocol.md).
    set_time_limit((int)$app->config->get('long_poll_seconds') + 30);
    // A wait in PHP ends within the hold time of the poll's arrival; nginx ends its own waits.
    $hold = $app->nchan === null ? max(0.0, (float)$app->config->get('long_poll_seconds') - $queued) : null;
    echo $app->poller->answer($fields, Http::clientAddress($app->config), $hold, ClientLine::toOutput());
} catch (\Throwable $e) {
    error_log('quorvel poll: ' . $e);
    http_response_code(500);
}
