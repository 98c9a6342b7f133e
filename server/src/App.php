<?php

declare(strict_types=1);

namespace Quorvel\Server;

/** Builds the script's objects from one configuration. */
final class App
{
    public readonly Database $db;
    public readonly Accounts $accounts;
    public readonly Messages $messages;
    public readonly Replies $replies;
    public readonly Poller $poller;
    public readonly Api $api;
    /** nginx holds the wait (and is woken after posts), or null */
    public readonly ?NchanHold $nchan;

    public function __construct(public readonly Config $config, ?Database $db = null)
    {
        $this->db = $db ?? Database::fromConfig($config);
        $this->accounts = new Accounts($this->db, $config);
        $nchan = null;
        if ($config->get('nchan_hold_location') !== null || $config->get('nchan_publish_address') !== null) {
            $nchan = new NchanHold(
                (string)$config->get('nchan_hold_location'),
                $config->get('nchan_publish_address'),
                delay: (int)$config->get('delay'),
            );
        }
        $this->nchan = $nchan;
        $this->messages = new Messages($this->db, $nchan === null ? null : $nchan->wake(...));
        $this->replies = new Replies($this->db, $config, $this->accounts);
        $hold = $nchan !== null && $config->get('nchan_hold_location') !== null
            ? $nchan
            : PhpHold::fromConfig(new HeldPolls($this->db, $config, $this->messages), $config);
        $this->poller = new Poller($this->db, $config, $this->accounts, $this->messages, $hold);
        $this->api = new Api($config, $this->accounts, $this->messages, $this->replies);
    }

    /** For the front controllers: the configuration from QUORVEL_CONFIG or server/config.php. */
    public static function fromEnvironment(): self
    {
        return new self(Config::load());
    }
}
