<?php

declare(strict_types=1);

namespace Quorvel\Server;

/** Shorthand for Html::escape, the one escaping function, in templates. */
function h(string|int|float|null $text): string
{
    return Html::escape($text);
}
