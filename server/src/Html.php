<?php

declare(strict_types=1);

namespace Quorvel\Server;

/** The one escaping function for HTML output, and the wrapping of plain-text messages. */
final class Html
{
    public static function escape(string|int|float|null $text): string
    {
        return htmlspecialchars((string)$text, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
    }

    /** A plain-text message as an HTML document: escaped, paragraphs kept, lines broken. */
    public static function fromText(string $title, string $text): string
    {
        $paragraphs = preg_split('/\R{2,}/', trim($text)) ?: [];
        $body = '';
        foreach ($paragraphs as $p) {
            $body .= '<p>' . nl2br(self::escape($p), false) . "</p>\n";
        }
        return "<html><head><meta charset=\"utf-8\"><title>" . self::escape($title) . "</title></head>\n<body>\n"
            . $body . "</body></html>\n";
    }

    /**
     * Adds a hidden field naming the message to every form of its HTML, so that the reply
     * script knows which message a reply answers.
     */
    public static function tagForms(string $html, int $messageId): string
    {
        $hidden = '<input type="hidden" name="' . Replies::MESSAGE_FIELD . '" value="' . $messageId . '">';
        return preg_replace_callback('/<form\b[^>]*>/i', static fn(array $m): string => $m[0] . $hidden, $html) ?? $html;
    }
}
