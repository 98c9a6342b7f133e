<?php

declare(strict_types=1);

// The page that answers a form reply; the client shows it in place of the message. Change it to
// suit your site. Variables: $accepted (bool), $error (text), $messageTitle (text or null),
// $fields (list of [name, value]). Escape everything with h().
use function Quorvel\Server\h;

?>
<html>
<head><meta charset="utf-8"><title><?= $accepted ? 'Thank you' : 'Not sent' ?></title></head>
<body style="font-family: sans-serif">
<?php if ($accepted) : ?>
<h2>Thank you!</h2>
<p>Your answer<?= $messageTitle !== null ? ' to &ldquo;' . h($messageTitle) . '&rdquo;' : '' ?> has been received.</p>
    <?php if ($fields) : ?>
<table>
        <?php foreach ($fields as [$name, $value]) : ?>
<tr><th align="left"><?= h($name) ?></th><td><?= h($value) ?></td></tr>
        <?php endforeach; ?>
</table>
    <?php endif; ?>
<?php else : ?>
<h2>Not sent</h2>
<p><?= h($error) ?></p>
<?php endif; ?>
</body>
</html>
