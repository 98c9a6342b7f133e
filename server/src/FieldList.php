<?php

declare(strict_types=1);

namespace Quorvel\Server;

/**
 * The field list, the encoding of every answer to a poll (docs/protocol.md): a width digit d,
 * then for each string a length field of exactly d bytes and the string's raw bytes. The
 * all-nines length (10^d - 1) is not a length but "the rest of the text", so the width is chosen
 * so that every literal length is at most 10^d - 2.
 */
final class FieldList
{
    /** Largest length a 9-digit field can give literally (999999999 is the rest marker). */
    public const MAX_LITERAL = 999999998;

    /**
     * Encodes name/value pairs, in order.
     *
     * @param array<string,string|int>|list<array{0:string,1:string|int}> $fields
     */
    public static function encode(array $fields): string
    {
        $strings = [];
        foreach ($fields as $name => $value) {
            if (is_array($value)) {
                [$name, $value] = $value;
            }
            $strings[] = (string)$name;
            $strings[] = (string)$value;
        }
        return self::encodeStrings($strings);
    }

    /**
     * Encodes a list of strings (names and values alternating), with length fields at least
     * $minWidth digits wide.
     *
     * @param list<string> $strings
     */
    public static function encodeStrings(array $strings, int $minWidth = 1): string
    {
        if ($strings === []) {
            return '';
        }
        $last = count($strings) - 1;
        $longest = 0;
        foreach ($strings as $i => $s) {
            $n = strlen($s);
            if ($n > self::MAX_LITERAL && $i !== $last) {
                throw new \LengthException('only the last string of a field list may be longer than 999999998 bytes');
            }
            if ($n <= self::MAX_LITERAL) {
                $longest = max($longest, $n);
            }
        }
        $d = max(min($minWidth, 9), self::width($longest));
        $out = (string)$d;
        foreach ($strings as $i => $s) {
            $n = strlen($s);
            // A last string too long for any literal length takes the rest marker.
            $length = $n > self::MAX_LITERAL ? str_repeat('9', $d) : str_pad((string)$n, $d, '0', STR_PAD_LEFT);
            $out .= $length . $s;
        }
        return $out;
    }

    /** The smallest width d whose literal lengths (up to 10^d - 2) reach $length. */
    public static function width(int $length): int
    {
        for ($d = 1; $d < 9; $d++) {
            if ($length <= 10 ** $d - 2) {
                return $d;
            }
        }
        return 9;
    }

    /**
     * Decodes a field list exactly as the client does (its ParseFieldList): used by the tests
     * and by anyone who wants to check an answer.
     *
     * @return list<string>
     */
    public static function decode(string $text): array
    {
        $result = [];
        if ($text === '' || !ctype_digit($text[0]) || $text[0] === '0') {
            return $result;
        }
        $d = (int)$text[0];
        $allNines = 10 ** $d - 1;
        $rest = substr($text, 1);
        while ($rest !== '') {
            $field = trim(substr($rest, 0, $d), "\x00..\x20");
            $n = self::integerText($field);
            if ($n === null || $n < 0) {
                break;
            }
            $data = strlen($rest) > $d ? substr($rest, $d) : '';
            if ($n === $allNines) {
                $result[] = $data;
                break;
            }
            $result[] = substr($data, 0, $n);
            $rest = strlen($data) > $n ? substr($data, $n) : '';
        }
        return $result;
    }

    /** The value of the last pair named $name, or ''. @param list<string> $strings */
    public static function value(array $strings, string $name): string
    {
        $value = '';
        for ($i = 0; $i < count($strings); $i += 2) {
            if ($strings[$i] === $name) {
                $value = $strings[$i + 1] ?? '';
            }
        }
        return $value;
    }

    /** The client's integer text rule (decimal or hexadecimal, 32 bits), or null. */
    public static function integerText(string $text): ?int
    {
        if (!preg_match('/^ *([+-]?)(?:(\$|x|X|0x|0X)([0-9a-fA-F]+)|([0-9]+))$/D', $text, $m)) {
            return null;
        }
        $negative = $m[1] === '-';
        if (($m[4] ?? '') !== '') {
            $digits = ltrim($m[4], '0');
            if (strlen($digits) > 10) {
                return null;
            }
            $v = (int)($digits === '' ? '0' : $digits);
            if ($v > ($negative ? 2147483648 : 2147483647)) {
                return null;
            }
            return $negative ? -$v : $v;
        }
        $hex = ltrim($m[3], '0');
        if (strlen($hex) > 8) {
            return null;
        }
        $bits = hexdec($hex === '' ? '0' : $hex);
        if ($negative) {
            $bits = (0x100000000 - $bits) & 0xFFFFFFFF;
        }
        return $bits >= 0x80000000 ? $bits - 0x100000000 : (int)$bits;
    }
}
