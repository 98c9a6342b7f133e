<?php

// The action of the forms in messages: the client posts the form's fields with User and Pass
// and shows the answer in place of the message. See docs/protocol.md.
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\App;
use Quorvel\Server\Config;
use Quorvel\Server\Http;

try {
    $config = Config::load();
    $fields = Http::formPost($config, 'text/html; charset=utf-8', 'max_reply_body');
    if ($fields === null) {
        exit;
    }
    $app = new App($config);
    [$page, $reply] = $app->replies->handle($fields, Http::clientAddress($app->config));
    echo $page;
    if ($reply !== null && $app->config->get('reply_webhook')) {
        // Under PHP-FPM the client has its answer before the hook is called.
        if (function_exists('fastcgi_finish_request')) {
            fastcgi_finish_request();
        }
        $app->replies->notifyWebhook($reply);
    }
} catch (\Throwable $e) {
    error_log('quorvel reply: ' . $e);
    http_response_code(500);
}
