<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

/**
 * The script as a site deploys it: nginx in front of a PHP-FPM pool of its own, both started
 * here in a temporary folder with their own configuration, nginx on a free port of 127.0.0.1.
 * Of the machine's own setup only php.ini and nginx's stock fastcgi_params are used.
 */
final class WebServer
{
    /** @var list<resource> */
    private array $processes = [];
    public readonly string $url;

    private function __construct(private string $dir)
    {
    }

    /** Why the pair cannot run here, or null when both are installed. */
    public static function missing(): ?string
    {
        if (self::nginxBinary() === null) {
            return 'nginx is not installed (Debian package nginx)';
        }
        if (self::fpmBinary() === null) {
            return 'PHP-FPM is not installed (Debian package php-fpm)';
        }
        return null;
    }

    private static function nginxBinary(): ?string
    {
        foreach (['/usr/sbin/nginx', '/usr/local/sbin/nginx'] as $candidate) {
            if (is_executable($candidate)) {
                return $candidate;
            }
        }
        return null;
    }

    private static function fpmBinary(): ?string
    {
        $version = PHP_MAJOR_VERSION . '.' . PHP_MINOR_VERSION;
        foreach (["/usr/sbin/php-fpm$version", '/usr/sbin/php-fpm', '/usr/local/sbin/php-fpm'] as $candidate) {
            if (is_executable($candidate)) {
                return $candidate;
            }
        }
        return null;
    }

    /**
     * Starts PHP-FPM with $workers children and nginx in front of it. Throws when either does
     * not come up.
     */
    public static function start(string $dir, string $configFile, int $workers): self
    {
        $server = new self($dir);
        try {
            $server->startFpm($configFile, $workers);
            $server->url = $server->startNginx();
        } catch (\Throwable $e) {
            $server->stop();
            throw $e;
        }
        return $server;
    }

    private function startFpm(string $configFile, int $workers): void
    {
        $root = posix_getuid() === 0;
        $ini = "[global]\npid = {$this->dir}/fpm.pid\nerror_log = {$this->dir}/fpm.log\ndaemonize = no\n\n"
            . "[quorvel]\n" . ($root ? "user = root\ngroup = root\n" : '')
            . "listen = {$this->dir}/fpm.sock\nlisten.mode = 0666\npm = static\npm.max_children = $workers\n"
            . "request_terminate_timeout = 120s\ncatch_workers_output = yes\nclear_env = yes\n"
            . 'env[QUORVEL_CONFIG] = ' . $configFile . "\n"
            // As in the deployment's pool: the script holds polls within three quarters of it.
            . "env[QUORVEL_POOL_SIZE] = $workers\n"
            . "php_admin_value[error_log] = {$this->dir}/php-error.log\nphp_admin_flag[log_errors] = on\n";
        file_put_contents("{$this->dir}/fpm.conf", $ini);
        // The machine's php.ini (its extensions) applies; its pools do not.
        $command = [self::fpmBinary(), '--nodaemonize', '--fpm-config', "{$this->dir}/fpm.conf"];
        if ($root) {
            $command[] = '--allow-to-run-as-root';
        }
        $this->spawn($command, 'fpm');
        $this->waitFor(fn(): bool => file_exists("{$this->dir}/fpm.sock"), 'PHP-FPM', 'fpm.log');
    }

    private function startNginx(): string
    {
        $public = dirname(__DIR__) . '/public';
        mkdir("{$this->dir}/nginx-temp", 0700, true);
        $temp = '';
        foreach (['client_body', 'proxy', 'fastcgi', 'uwsgi', 'scgi'] as $kind) {
            $temp .= "    {$kind}_temp_path {$this->dir}/nginx-temp/$kind;\n";
        }
        for ($attempt = 0; $attempt < 5; $attempt++) {
            $port = ServerTestCase::freePort();
            $config = "daemon off;\nmaster_process on;\nworker_processes 1;\n"
                . (posix_getuid() === 0 ? "user root;\n" : '')
                . "pid {$this->dir}/nginx.pid;\nerror_log {$this->dir}/nginx-error.log info;\n"
                // As docs/server.md gives the workers room: half-sent requests cannot use it all.
                . "worker_rlimit_nofile 16384;\nevents { worker_connections 8192; }\n"
                . "http {\n    access_log off;\n$temp"
                . "    limit_conn_zone \$binary_remote_addr zone=quorvel_addr:1m;\n"
                . "    limit_req_zone \$binary_remote_addr zone=quorvel_rate:1m rate=20r/s;\n"
                . "    server {\n        listen 127.0.0.1:$port;\n        root $public;\n        client_max_body_size 1m;\n"
                // The time-outs and limits that docs/server.md asks of a deployment.
                . "        client_header_timeout 10s;\n        client_body_timeout 10s;\n        send_timeout 30s;\n"
                . "        keepalive_timeout 15s;\n        reset_timedout_connection on;\n"
                . "        limit_conn quorvel_addr 60;\n        limit_req zone=quorvel_rate burst=40 nodelay;\n"
                . "        limit_conn_status 429;\n        limit_req_status 429;\n"
                . "        location ~ ^/(poll|reply|api)\\.php(/|$) {\n"
                . "            fastcgi_split_path_info ^(.+\\.php)(/.*)$;\n"
                . "            include /etc/nginx/fastcgi_params;\n"
                . "            fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;\n"
                . "            fastcgi_param PATH_INFO \$fastcgi_path_info;\n"
                . "            fastcgi_pass unix:{$this->dir}/fpm.sock;\n"
                . "            fastcgi_read_timeout 60s;\n            fastcgi_buffering off;\n        }\n"
                . "        location / { return 404; }\n    }\n}\n";
            file_put_contents("{$this->dir}/nginx.conf", $config);
            $process = $this->spawn([self::nginxBinary(), '-p', $this->dir, '-c', "{$this->dir}/nginx.conf"], 'nginx');
            $deadline = microtime(true) + 10;
            while (microtime(true) < $deadline && proc_get_status($process)['running']) {
                $socket = @fsockopen('127.0.0.1', $port, $errno, $errstr, 0.2);
                if ($socket) {
                    fclose($socket);
                    return "http://127.0.0.1:$port";
                }
                usleep(50000);
            }
        }
        throw new \RuntimeException('nginx did not start: ' . @file_get_contents("{$this->dir}/nginx-error.log"));
    }

    /** @param list<string> $command @return resource */
    private function spawn(array $command, string $log)
    {
        $out = ['file', "{$this->dir}/$log.out", 'a'];
        $process = proc_open($command, [0 => ['file', '/dev/null', 'r'], 1 => $out, 2 => $out], $pipes, $this->dir);
        if (!is_resource($process)) {
            throw new \RuntimeException("cannot start {$command[0]}");
        }
        $this->processes[] = $process;
        return $process;
    }

    private function waitFor(callable $ready, string $what, string $log): void
    {
        $deadline = microtime(true) + 10;
        while (microtime(true) < $deadline) {
            if ($ready()) {
                return;
            }
            usleep(50000);
        }
        throw new \RuntimeException("$what did not start: " . @file_get_contents("{$this->dir}/$log")
            . @file_get_contents("{$this->dir}/fpm.out"));
    }

    /** The PHP errors the pool logged (for failure messages). */
    public function phpErrors(): string
    {
        return (string)@file_get_contents("{$this->dir}/php-error.log") . (string)@file_get_contents("{$this->dir}/fpm.log");
    }

    public function stop(): void
    {
        foreach (array_reverse($this->processes) as $process) {
            $status = proc_get_status($process);
            if ($status['running']) {
                posix_kill($status['pid'], SIGQUIT);
                $deadline = microtime(true) + 5;
                while (proc_get_status($process)['running'] && microtime(true) < $deadline) {
                    usleep(20000);
                }
                if (proc_get_status($process)['running']) {
                    posix_kill($status['pid'], SIGKILL);
                }
            }
            proc_close($process);
        }
        $this->processes = [];
    }
}
