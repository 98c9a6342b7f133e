"""A private deployment of the reference script on loopback, for the load client and its tests.

Starts nginx (with or without the pub/sub module), PHP-FPM and, for several nodes, Redis, each
from the files a site owner deploys (server/deploy/), rewritten only for a temporary folder,
unix sockets and a free loopback port. Everything runs as the current user and stops with stop().
"""

import getpass
import glob
import hashlib
import os
import re
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SERVER = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEPLOY = os.path.join(SERVER, "deploy")
TOKEN = "load-token"
# As many open files as the hard limit allows, up to what 10,000 waiting clients need.
_HARD = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
FILE_LIMIT = 65536 if _HARD == resource.RLIM_INFINITY else min(65536, _HARD)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def raise_file_limit():
    """Raises this process's open-file limit as far as its hard limit allows; gives the limit."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < FILE_LIMIT:
        resource.setrlimit(resource.RLIMIT_NOFILE, (FILE_LIMIT, hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


def find_binary(*names):
    for name in names:
        for folder in os.environ.get("PATH", "").split(os.pathsep) + ["/usr/sbin", "/sbin"]:
            path = os.path.join(folder, name)
            if os.access(path, os.X_OK):
                return path
    return None


def php_fpm_binary():
    found = find_binary("php-fpm", "php-fpm8.2", "php-fpm8.3", "php-fpm8.4")
    if found:
        return found
    for name in sorted(os.listdir("/usr/sbin"), reverse=True) if os.path.isdir("/usr/sbin") else []:
        if re.fullmatch(r"php-fpm\d\.\d", name):
            return os.path.join("/usr/sbin", name)
    return None


def nchan_module():
    for path in ("/usr/lib/nginx/modules/ngx_nchan_module.so", "/usr/share/nginx/modules/ngx_nchan_module.so"):
        if os.path.exists(path):
            return path
    return None


def postgresql_binaries():
    """The folder of the newest PostgreSQL server's programs, or None."""
    for folder in sorted(glob.glob("/usr/lib/postgresql/*/bin"), key=lambda f: [int(p) for p in re.findall(r"\d+", f)],
                         reverse=True):
        if os.access(os.path.join(folder, "initdb"), os.X_OK) and os.access(os.path.join(folder, "pg_ctl"), os.X_OK):
            return folder
    return None


def missing_tools(nchan, redis, postgresql=False):
    """What this machine lacks for such a deployment, as Debian package names."""
    missing = []
    if postgresql and not postgresql_binaries():
        missing.append("postgresql")
    if postgresql and "pdo_pgsql" not in subprocess.run(["php", "-m"], capture_output=True, text=True).stdout:
        missing.append("php-pgsql")
    if not find_binary("nginx"):
        missing.append("nginx")
    if not php_fpm_binary():
        missing.append("php-fpm")
    if nchan and not nchan_module():
        missing.append("libnginx-mod-nchan")
    if redis and not find_binary("redis-server"):
        missing.append("redis-server")
    return missing


def pss_kib(pid):
    """Proportional set size of one process, in KiB (0 when it is gone)."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


def descendants(pid):
    """pid and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(parent, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        found.append(current)
        todo.extend(children.get(current, []))
    return found


class Node:
    """One web node: nginx and PHP-FPM with the two pools, sharing the stack's database."""

    def __init__(self, stack, name):
        self.stack = stack
        self.dir = os.path.join(stack.dir, name)
        os.makedirs(self.dir)
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.nginx = None
        self.fpm = None

    def start(self):
        stack = self.stack
        as_root = os.geteuid() == 0
        user = getpass.getuser()
        config = os.path.join(self.dir, "config.php")
        values = {
            "dsn": stack.dsn,
            "db_user": "quorvel" if stack.postgresql else None,
            "long_poll_seconds": stack.hold_seconds,
            "api_token_hash": hashlib.sha256(TOKEN.encode()).hexdigest(),
            "secret": stack.secret,
            "hold_lock_dir": os.path.join(self.dir, "holds"),
            "throttle_address_limit": 0,
        }
        if stack.max_held_polls is not None:
            values["max_held_polls"] = stack.max_held_polls
        values.update(stack.config)
        if stack.nchan:
            values["nchan_hold_location"] = "/quorvel-wait/"
            values["nchan_publish_address"] = "unix://" + os.path.join(self.dir, "nchan.sock")
        with open(config, "w") as f:
            f.write("<?php\nreturn [\n")
            for key, value in values.items():
                if value is not None:
                    f.write(f"    {php_literal(key)} => {php_literal(value)},\n")
            f.write("];\n")

        with open(os.path.join(DEPLOY, "php-fpm-quorvel.conf")) as f:
            pools = f.read()
        pools = pools.replace("/run/php/", self.dir + "/").replace("/srv/quorvel/config.php", config)
        pools = re.sub(r"(?m)^(user|group|listen\.owner|listen\.group) = www-data$", rf"\1 = {user}", pools)
        pools = re.sub(r"(?m)^(\[quorvel-poll\](?:.|\n)*?pm\.max_children = )\d+", rf"\g<1>{stack.poll_children}", pools)
        pools = pools.replace("env[QUORVEL_POOL_SIZE] = 16", f"env[QUORVEL_POOL_SIZE] = {stack.poll_children}")
        if as_root:
            pools = re.sub(r"(?m)^(user|group) = .*$\n", "", pools)
        if stack.trace:
            # Each request's start, its time in PHP and nginx's id for it; stacks of slow ones.
            pools = pools.replace("request_terminate_timeout = 90s", "request_terminate_timeout = 90s\n"
                                  f"access.log = {self.dir}/$pool.access.log\n"
                                  "access.format = \"%{%s}t %{mili}d %s %{REQUEST_ID}e\"\n"
                                  f"slowlog = {self.dir}/$pool.slow.log\nrequest_slowlog_timeout = 30s")
        with open(os.path.join(self.dir, "php-fpm.conf"), "w") as f:
            f.write(f"[global]\npid = {self.dir}/php-fpm.pid\nerror_log = {self.dir}/php-fpm.log\n"
                    f"daemonize = no\nrlimit_files = {FILE_LIMIT}\n\n{pools}")
        fpm_command = [php_fpm_binary(), "-F", "-y", os.path.join(self.dir, "php-fpm.conf")]
        if as_root:
            fpm_command.append("-R")
        def prepare_fpm():
            raise_file_limit()
            if stack.php_cgroup:
                with open(os.path.join(stack.php_cgroup, "tasks"), "w") as tasks:
                    tasks.write(str(os.getpid()))

        with open(os.path.join(self.dir, "php-fpm.out"), "w") as log:
            self.fpm = subprocess.Popen(fpm_command, stdout=subprocess.DEVNULL, stderr=log,
                                        preexec_fn=prepare_fpm, start_new_session=True)

        site_file = "nginx-nchan.conf" if stack.nchan else "nginx-php.conf"
        with open(os.path.join(DEPLOY, site_file)) as f:
            site = f.read()
        site = (site.replace("/srv/quorvel", SERVER).replace("/run/php/", self.dir + "/")
                .replace("/run/quorvel-nchan.sock", os.path.join(self.dir, "nchan.sock"))
                .replace("listen 80;", f"listen 127.0.0.1:{self.port} backlog=4096;")
                .replace("include fastcgi_params;", "include /etc/nginx/fastcgi_params;")
                .replace("/var/log/nginx/error.log", os.path.join(self.dir, "nginx-error.log"))
                .replace("proxy_read_timeout 25s;", f"proxy_read_timeout {stack.hold_seconds}s;"))
        if stack.trace:
            site = site.replace("include /etc/nginx/fastcgi_params;",
                                "include /etc/nginx/fastcgi_params; fastcgi_param REQUEST_ID $request_id;")
            # The internal server's publishes and waits too.
            site = site.replace("    access_log off;\n", f"    access_log {self.dir}/nginx-internal.log timing;\n", 1)
        if stack.redis_port:
            site = site.replace("# nchan_redis_url redis://127.0.0.1:6379; nchan_use_redis on;",
                                f"nchan_redis_url redis://127.0.0.1:{stack.redis_port}; nchan_use_redis on;")
        with open(os.path.join(self.dir, "site.conf"), "w") as f:
            f.write(site)
        temp = os.path.join(self.dir, "nginx-temp")
        os.makedirs(temp)
        main = [
            f"load_module {nchan_module()};" if stack.nchan else "",
            "user root root;" if as_root else "",
            f"worker_processes {stack.nginx_workers};",
            f"worker_rlimit_nofile {FILE_LIMIT};",
            f"pid {self.dir}/nginx.pid;",
            f"error_log {self.dir}/nginx-error.log warn;",
            f"events {{ worker_connections {FILE_LIMIT - 64}; }}",
            "http {",
            "    access_log off;" if not stack.trace else "",
            ("    log_format timing '$msec $request_id $remote_addr:$remote_port $uri $status $request_time "
             "$upstream_connect_time $upstream_header_time $upstream_response_time $upstream_status';") if stack.trace else "",
            "    default_type application/octet-stream;",
            f"    client_body_temp_path {temp}/body; proxy_temp_path {temp}/proxy;",
            f"    fastcgi_temp_path {temp}/fastcgi; uwsgi_temp_path {temp}/uwsgi; scgi_temp_path {temp}/scgi;",
            f"    include {self.dir}/site.conf;",
            f"    access_log {self.dir}/nginx-access.log timing;" if stack.trace else "",
            "}",
        ]
        with open(os.path.join(self.dir, "nginx.conf"), "w") as f:
            f.write("\n".join(main) + "\n")
        with open(os.path.join(self.dir, "nginx.out"), "w") as log:
            self.nginx = subprocess.Popen(
                [find_binary("nginx"), "-p", self.dir, "-c", os.path.join(self.dir, "nginx.conf"), "-g", "daemon off;"],
                stdout=subprocess.DEVNULL, stderr=log, preexec_fn=raise_file_limit, start_new_session=True)

    def wait_ready(self, deadline):
        sockets = [os.path.join(self.dir, "quorvel-poll.sock"), os.path.join(self.dir, "quorvel-api.sock")]
        while time.monotonic() < deadline:
            for process, log in ((self.fpm, "php-fpm.out"), (self.nginx, "nginx.out")):
                if process.poll() is not None:
                    raise RuntimeError(f"{log} ended: " + self.log(log) + self.log("php-fpm.log") + self.log("nginx-error.log"))
            if all(os.path.exists(s) for s in sockets):
                try:
                    with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                        return
                except OSError:
                    pass
            time.sleep(0.05)
        raise RuntimeError("the node did not start: " + self.log("php-fpm.log") + self.log("nginx-error.log"))

    def log(self, name):
        try:
            with open(os.path.join(self.dir, name), errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def processes(self):
        """{"nginx": [pids], "php-fpm": [pids]} of this node."""
        found = {}
        for name, process in (("nginx", self.nginx), ("php-fpm", self.fpm)):
            if process and process.poll() is None:
                found[name] = descendants(process.pid)
        return found

    def stop(self):
        for process in (self.nginx, self.fpm):
            if process and process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
        for process in (self.nginx, self.fpm):
            if process:
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()


class PostgreSQL:
    """A private PostgreSQL server for the stack: its own folder, a unix socket there, no network.
    As root the cluster belongs to the postgres user (the server refuses to run as root)."""

    def __init__(self, max_connections):
        self.bin = postgresql_binaries()
        self.dir = tempfile.mkdtemp(prefix="quorvel-pg-")
        os.chmod(self.dir, 0o755)
        self.data = os.path.join(self.dir, "data")
        self.max_connections = max_connections
        self.as_owner = []
        self.started = False
        if os.geteuid() == 0:
            import pwd
            owner = "postgres"
            try:
                pwd.getpwnam(owner)
            except KeyError:
                owner = "nobody"
            shutil.chown(self.dir, owner)
            self.as_owner = ["runuser", "-u", owner, "--"]
        self.port = free_port()
        self.dsn = f"pgsql:host={self.dir};port={self.port};dbname=quorvel"

    def start(self):
        self._run([os.path.join(self.bin, "initdb"), "-D", self.data, "-A", "trust", "-U", "quorvel", "-E", "UTF8",
                   "--no-sync"], "initdb")
        options = (f"-p {self.port} -k {self.dir} -c listen_addresses='' -c max_connections={self.max_connections} "
                   "-c shared_buffers=64MB -c synchronous_commit=off")
        self._run([os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-l", os.path.join(self.dir, "server.log"),
                   "-w", "-t", "60", "-o", options, "start"], "pg_ctl start")
        self.started = True
        self._run([os.path.join(self.bin, "psql"), "-h", self.dir, "-p", str(self.port), "-U", "quorvel", "-d",
                   "postgres", "-qc", "CREATE DATABASE quorvel"], "CREATE DATABASE")

    def _run(self, command, what):
        done = subprocess.run(self.as_owner + command, capture_output=True, text=True, timeout=120)
        if done.returncode != 0:
            raise RuntimeError(f"{what} failed: {done.stdout}{done.stderr}" + self.log())

    def log(self):
        try:
            with open(os.path.join(self.dir, "server.log"), errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def processes(self):
        try:
            with open(os.path.join(self.data, "postmaster.pid")) as f:
                return descendants(int(f.readline()))
        except (OSError, ValueError):
            return []

    def stop(self):
        if self.started:
            subprocess.run(self.as_owner + [os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-m", "immediate", "stop"],
                           capture_output=True, timeout=60)
            self.started = False
        shutil.rmtree(self.dir, ignore_errors=True)


def php_literal(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return repr(value)
    return "'" + str(value).replace("\\", "\\\\").replace("'", "\\'") + "'"


class Stack:
    """nodes web nodes on one database (SQLite, or a private PostgreSQL server); with several nchan
    nodes, one Redis they share."""

    def __init__(self, nchan=True, nodes=1, users=0, hold_seconds=25, poll_children=16,
                 nginx_workers=1, max_held_polls=None, database="sqlite", config=None, php_cores=None):
        self.nchan = nchan
        self.node_count = nodes
        self.users = users
        self.hold_seconds = hold_seconds
        self.poll_children = poll_children
        self.nginx_workers = nginx_workers
        self.max_held_polls = max_held_polls
        self.config = config or {}  # more keys of config.php
        # A busy machine, made repeatable: every PHP-FPM process of the stack shares this many
        # cores at most (a cgroup of the cpu controller, version 1, as root).
        self.php_cores = php_cores
        self.php_cgroup = None
        # QUORVEL_STACK_TRACE: access logs with each request's timings in nginx and PHP-FPM.
        self.trace = bool(os.environ.get("QUORVEL_STACK_TRACE"))
        self.dir = tempfile.mkdtemp(prefix="quorvel-stack-")
        self.dsn = "sqlite:" + os.path.join(self.dir, "quorvel.sqlite")
        self.postgresql = None
        if database == "postgresql":
            # Every PHP worker of every node keeps a connection, and the seeding and a psql need room.
            with open(os.path.join(DEPLOY, "php-fpm-quorvel.conf")) as f:
                api_children = int(re.search(r"\[quorvel-api\](?:.|\n)*?pm\.max_children = (\d+)", f.read()).group(1))
            self.postgresql = PostgreSQL(nodes * (poll_children + api_children) + 20)
            self.dsn = self.postgresql.dsn
        self.secret = os.urandom(16).hex()
        self.redis = None
        self.redis_port = None
        self.nodes = []

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        raise_file_limit()
        if self.php_cores:
            self.php_cgroup = f"/sys/fs/cgroup/cpu/quorvel-{os.getpid()}-{id(self)}"
            os.mkdir(self.php_cgroup)
            with open(os.path.join(self.php_cgroup, "cpu.cfs_period_us"), "w") as f:
                f.write("100000")
            with open(os.path.join(self.php_cgroup, "cpu.cfs_quota_us"), "w") as f:
                f.write(str(int(self.php_cores * 100000)))
        if self.postgresql:
            self.postgresql.start()
        if self.nchan and self.node_count > 1:
            self.redis_port = free_port()
            with open(os.path.join(self.dir, "redis.log"), "w") as log:
                self.redis = subprocess.Popen(
                    [find_binary("redis-server"), "--port", str(self.redis_port), "--bind", "127.0.0.1", "--save", "",
                     "--appendonly", "no", "--dir", self.dir, "--maxclients", "10000"],
                    stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
            deadline = time.monotonic() + 10
            while True:
                try:
                    socket.create_connection(("127.0.0.1", self.redis_port), timeout=1).close()
                    break
                except OSError:
                    if time.monotonic() > deadline or self.redis.poll() is not None:
                        raise RuntimeError("redis-server did not start")
                    time.sleep(0.05)
        self.nodes = [Node(self, f"node{k}") for k in range(self.node_count)]
        for node in self.nodes:
            node.start()
        seed = subprocess.run(["php", os.path.join(SERVER, "bench", "seed-users.php"), str(self.users)],
                              env=dict(os.environ, QUORVEL_CONFIG=os.path.join(self.nodes[0].dir, "config.php")),
                              capture_output=True, text=True, timeout=600)
        if seed.returncode != 0:
            raise RuntimeError("seeding the users failed: " + seed.stderr + seed.stdout)
        deadline = time.monotonic() + 20
        for node in self.nodes:
            node.wait_ready(deadline)

    def processes(self):
        """{"nginx": [...], "php-fpm": [...], "redis": [...]} over all nodes."""
        found = {}
        for node in self.nodes:
            for name, pids in node.processes().items():
                found.setdefault(name, []).extend(pids)
        if self.redis and self.redis.poll() is None:
            found["redis"] = [self.redis.pid]
        if self.postgresql and self.postgresql.processes():
            found["postgresql"] = self.postgresql.processes()
        return found

    def stop(self):
        for node in self.nodes:
            node.stop()
        if self.redis and self.redis.poll() is None:
            os.killpg(self.redis.pid, signal.SIGTERM)
            try:
                self.redis.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.redis.pid, signal.SIGKILL)
                self.redis.wait()
        if self.postgresql:
            self.postgresql.stop()
        if self.php_cgroup:
            try:
                os.rmdir(self.php_cgroup)
            except OSError:
                pass
        if os.environ.get("QUORVEL_KEEP_STACK"):
            print("stack kept in", self.dir, file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)
