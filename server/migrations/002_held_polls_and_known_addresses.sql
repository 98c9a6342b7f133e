-- The poll each user has waiting (at most one: a newer poll ends the older), from which address,
-- and until when the entry counts (a worker that was killed leaves its entry behind).
ALTER TABLE users ADD COLUMN held_token VARCHAR(32) NULL;
ALTER TABLE users ADD COLUMN held_address VARCHAR(64) NULL;
ALTER TABLE users ADD COLUMN held_until {{bigint}} NOT NULL DEFAULT 0;
CREATE INDEX users_held_address ON users (held_address, held_until);

-- Expired entries of the credential cache are swept by their time.
CREATE INDEX users_pass_cache_until ON users (pass_cache_until);

-- Failed log-ins are pruned by their time as they are recorded.
CREATE INDEX failed_logins_time ON failed_logins (created_at);

-- Addresses from which a user logged in with the right password: a lock-out that guessers
-- caused elsewhere does not reach the user there.
CREATE TABLE known_addresses (
    user_id {{bigint}} NOT NULL REFERENCES users (id),
    address VARCHAR(64) NOT NULL,
    last_login_at {{bigint}} NOT NULL,
    PRIMARY KEY (user_id, address)
) {{table}};
