<?php

// The site's JSON API: api.php/messages, api.php/replies, api.php/users (docs/server.md).
declare(strict_types=1);

require dirname(__DIR__) . '/src/autoload.php';

use Quorvel\Server\Api;
use Quorvel\Server\App;
use Quorvel\Server\Config;
use Quorvel\Server\Http;

Http::noCache();
header('Content-Type: application/json');
$app = null;
try {
    // The token and the body's size are checked before the database is opened, so that requests
    // without the token cost no connection.
    $config = Config::load();
    $authorization = (string)($_SERVER['HTTP_AUTHORIZATION'] ?? $_SERVER['REDIRECT_HTTP_AUTHORIZATION'] ?? '');
    if ($authorization === '' && function_exists('getallheaders')) {
        foreach (getallheaders() as $name => $value) {
            if (strcasecmp($name, 'Authorization') === 0) {
                $authorization = $value;
            }
        }
    }
    $path = (string)($_SERVER['PATH_INFO'] ?? ($_GET['call'] ?? ''));
    $method = (string)($_SERVER['REQUEST_METHOD'] ?? 'GET');
    if (!Api::tokenAccepted($config, $authorization)) {
        [$status, $answer] = [401, ['error' => 'missing or wrong bearer token']];
    } else {
        $body = $method === 'POST' ? Http::body((int)$config->get('max_api_body')) : '';
        $query = array_filter($_GET, 'is_string');
        $app = new App($config);
        // The site's call returns before the wake-ups go out (below).
        $app->nchan?->defer();
        [$status, $answer] = $app->api->handle($method, $path, $query, $body, $authorization);
    }
    http_response_code($status);
    if ($status === 401) {
        header('WWW-Authenticate: Bearer');
    }
    echo json_encode($answer, JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES | JSON_INVALID_UTF8_SUBSTITUTE), "\n";
} catch (\Throwable $e) {
    error_log('quorvel api: ' . $e);
    http_response_code(500);
    echo json_encode(['error' => 'internal error']), "\n";
}
// Under PHP-FPM the site has its answer before the waiting polls are woken; also after a failure
// that came once a post had committed.
if ($app?->nchan !== null) {
    if (function_exists('fastcgi_finish_request')) {
        fastcgi_finish_request();
    }
    $app->nchan->flush();
}
