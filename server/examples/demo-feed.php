<?php

// Posts realistic messages to one user through the script's JSON API, the way a site's own code
// would: an order, a question with a form and a newsletter at once, then a new message every few
// seconds, orders and reviews in turn, an order first. Used by the scripts that run the client
// against this script (scripts/lib/reference-server.sh).
//
//   php demo-feed.php --api http://127.0.0.1:8080/api.php --token TOKEN [--user demo]
//                     [--every 4] [--count 50]
declare(strict_types=1);

$options = getopt('', ['api:', 'token:', 'user:', 'every:', 'count:']);
$api = $options['api'] ?? null;
$token = $options['token'] ?? null;
if (!is_string($api) || !is_string($token)) {
    fwrite(STDERR, "usage: php demo-feed.php --api URL --token TOKEN [--user demo] [--every SECONDS] [--count N]\n");
    exit(2);
}
$user = (string)($options['user'] ?? 'demo');
$every = (float)($options['every'] ?? 4);
$count = (int)($options['count'] ?? 50);

function post(string $api, string $token, array $message): ?array
{
    $context = stream_context_create(['http' => [
        'method' => 'POST',
        'header' => "Authorization: Bearer $token\r\nContent-Type: application/json\r\n",
        'content' => json_encode($message),
        'timeout' => 10,
        'ignore_errors' => true,
    ]]);
    $answer = @file_get_contents("$api/messages", false, $context);
    return $answer === false ? null : json_decode($answer, true);
}

const STYLE = '<style>body{font-family:sans-serif;font-size:10pt;margin:8px;color:#222}'
    . 'h2{color:#2a5d8f;margin:0 0 6px}table{border-collapse:collapse}'
    . 'td,th{border:1px solid #ccd;padding:3px 8px}th{background:#eef2f8;text-align:left}'
    . '.total{font-weight:bold}.note{color:#666;font-size:9pt}</style>';

function page(string $title, string $body): string
{
    return '<html><head><meta charset="utf-8"><title>' . htmlspecialchars($title) . '</title>' . STYLE
        . "</head><body>$body</body></html>";
}

function order(int $number): array
{
    $items = [['Yirgacheffe beans, 1 kg', 1, 24.90], ['Ceramic dripper', 1, 18.50], ['Paper filters (100)', 2, 3.20]];
    $names = ['Jana Novak', 'Luis Ortega', 'Mei Chen', 'Tom Becker', 'Amara Okafor', 'Sven Lund'];
    $customer = $names[$number % count($names)];
    $rows = '';
    $total = 0.0;
    foreach (array_slice($items, 0, 1 + $number % 3) as [$name, $quantity, $price]) {
        $rows .= sprintf('<tr><td>%s</td><td align="right">%d</td><td align="right">%.2f €</td></tr>', htmlspecialchars($name), $quantity, $quantity * $price);
        $total += $quantity * $price;
    }
    $body = "<h2>New order #$number</h2><p>From <b>" . htmlspecialchars($customer) . '</b>, paid by card.</p>'
        . '<table><tr><th>Item</th><th>Qty</th><th>Amount</th></tr>' . $rows
        . sprintf('<tr class="total"><td colspan="2">Total</td><td align="right">%.2f €</td></tr></table>', $total)
        . '<p class="note">Ship within two working days.</p>';
    return ['title' => "Order #$number from $customer", 'header' => "Shop: order #$number", 'html' => page("Order #$number", $body)];
}

function question(): array
{
    $body = '<h2>A customer asks</h2><p><b>Luis Ortega</b> wrote about order #10480:</p>'
        . '<blockquote>Could you send the dripper in white instead of black?</blockquote>'
        . '<form action="reply.php" method="post"><p>Your answer:<br><textarea name="answer" rows="3" cols="40">Yes, of course.</textarea></p>'
        . '<p><input type="submit" name="choice" value="Send answer"> <input type="submit" name="choice" value="Call me"></p></form>';
    return ['title' => 'Question about order #10480', 'header' => 'Customer question', 'html' => page('Question', $body)];
}

function newsletter(): array
{
    $body = '<h2>Roastery news, week 49</h2><p>This week: a fresh lot of <b>Yirgacheffe</b> from Ethiopia, '
        . 'notes of bergamot and apricot.</p><ul><li>Cupping evening on Thursday, 7 pm</li>'
        . '<li>Free shipping above 40 € until Sunday</li><li>New: decaf Colombia, sugar-cane process</li></ul>'
        . '<p class="note">You receive this because you run the shop. Links open in your browser.</p>';
    return ['title' => 'Roastery news, week 49', 'header' => 'Newsletter', 'html' => page('Newsletter', $body)];
}

function comment(int $n): array
{
    $texts = ['Great beans, will order again!', 'The grinder arrived a bit scratched.', 'Do you ship to Norway?', 'Five stars for the decaf.'];
    $text = $texts[$n % count($texts)];
    return ['title' => "New review #$n", 'header' => 'Community', 'text' => "A customer left a review:\n\n\"$text\"\n\nReply from the shop's admin pages."];
}

$queue = [order(10481), question(), newsletter()];
for ($n = 0; $n < $count; $n++) {
    $message = $queue ? array_shift($queue) : ($n % 2 ? order(10481 + $n) : comment($n));
    $message['to'] = $user;
    $answer = post($api, $token, $message);
    if (!isset($answer['id'])) {
        fwrite(STDERR, 'demo-feed: posting failed: ' . json_encode($answer) . "\n");
    } else {
        fwrite(STDERR, "demo-feed: posted message {$answer['id']}: {$message['title']}\n");
    }
    if ($n >= 2) {
        usleep((int)($every * 1e6));
    }
}
