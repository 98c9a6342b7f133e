-- The schema of the reference script. {{id}}, {{text}}, {{bigint}} and {{name}} are replaced by
-- the driver's own types (SQLite, PostgreSQL, MySQL/MariaDB) and {{table}} by its table options,
-- so all three get the same tables.

CREATE TABLE users (
    id {{id}},
    name {{name}} NOT NULL UNIQUE,
    pass_hash VARCHAR(255) NOT NULL,
    disabled SMALLINT NOT NULL DEFAULT 0,
    -- The highest Index handed to this user's deliveries; only grows.
    last_index {{bigint}} NOT NULL DEFAULT 0,
    -- Keyed hash of the last verified password and until when it may stand in for password_verify.
    pass_cache VARCHAR(64) NULL,
    pass_cache_until {{bigint}} NOT NULL DEFAULT 0,
    -- The Index of the user's last poll (the client holds every message up to it), and when.
    acked_index {{bigint}} NOT NULL DEFAULT 0,
    last_poll_at {{bigint}} NOT NULL DEFAULT 0,
    created_at {{bigint}} NOT NULL
) {{table}};

CREATE TABLE messages (
    id {{id}},
    header {{text}} NOT NULL,
    title {{text}} NOT NULL,
    html {{text}} NOT NULL,
    created_at {{bigint}} NOT NULL
) {{table}};

CREATE TABLE deliveries (
    user_id {{bigint}} NOT NULL REFERENCES users (id),
    idx {{bigint}} NOT NULL,
    message_id {{bigint}} NOT NULL REFERENCES messages (id),
    created_at {{bigint}} NOT NULL,
    PRIMARY KEY (user_id, idx)
) {{table}};
CREATE INDEX deliveries_message ON deliveries (message_id);

CREATE TABLE replies (
    id {{id}},
    user_id {{bigint}} NOT NULL REFERENCES users (id),
    message_id {{bigint}} NULL,
    fields {{text}} NOT NULL,
    address VARCHAR(64) NOT NULL,
    created_at {{bigint}} NOT NULL
) {{table}};

CREATE TABLE failed_logins (
    id {{id}},
    user_name {{name}} NOT NULL,
    address VARCHAR(64) NOT NULL,
    created_at {{bigint}} NOT NULL
) {{table}};
CREATE INDEX failed_logins_user ON failed_logins (user_name, created_at);
CREATE INDEX failed_logins_address ON failed_logins (address, created_at);
