<?php

declare(strict_types=1);

namespace Quorvel\Server\Tests;

use PHPUnit\Framework\TestCase;
use Quorvel\Server\FieldList;
use Quorvel\Server\Poller;

final class FieldListTest extends TestCase
{
    /** The worked examples of docs/protocol.md and more, decoded by the PHP port of the client's reader. */
    public function testDocumentedCasesDecodeAsTheClientDoes(): void
    {
        $this->assertSame(['Delay', '10'], FieldList::decode('15Delay210'));
        $this->assertSame(
            ['Index', '42', 'Header', 'Hello', 'Title', 'Hi!', 'Message', 'HelloWorld'],
            FieldList::decode('205Index024206Header05Hello05Title03Hi!07Message99HelloWorld')
        );
        $this->assertSame(['Delay', '30'], FieldList::decode('3  5Delay  230xyz'));
        $this->assertSame(['Dela'], FieldList::decode('16Dela'));
        $this->assertSame(['Title', ''], FieldList::decode('15Title9'));
        $this->assertSame(['', '2'], FieldList::decode('1012ab'));
        $this->assertSame([], FieldList::decode('0abc'));
        $this->assertSame([], FieldList::decode('x12'));
        $this->assertSame([], FieldList::decode(''));
        $this->assertSame('def', FieldList::value(['Title', 'abc', 'Title', 'def'], 'Title'));
        $this->assertSame('', FieldList::value(['Title', 'abc', 'Deny'], 'Deny'));
    }

    public function testWorkedEncodingExample(): void
    {
        $this->assertSame('15Delay210', FieldList::encode(['Delay' => '10']));
        $this->assertSame('15Index242', FieldList::encode(['Index' => 42]));
        // A 9-byte value needs width 2: with width 1 its length would read as the rest marker.
        $this->assertSame('205Title09Order 123', FieldList::encode(['Title' => 'Order 123']));
    }

    /** No literal length may equal the all-nines rest marker of the chosen width. */
    public function testWidthLeavesNoLengthThatReadsAsTheRestMarker(): void
    {
        $cases = [0 => 1, 8 => 1, 9 => 2, 98 => 2, 99 => 3, 998 => 3, 999 => 4, 9998 => 4, 9999 => 5, 99999 => 6, 999999 => 7];
        foreach ($cases as $length => $width) {
            $this->assertSame($width, FieldList::width($length), "length $length");
            $encoded = FieldList::encode(['Message' => str_repeat('m', $length), 'After' => 'x']);
            $this->assertSame((string)$width, $encoded[0]);
            $this->assertSame(['Message', str_repeat('m', $length), 'After', 'x'], FieldList::decode($encoded), "length $length");
        }
    }

    public function testRoundTripOfArbitraryBytes(): void
    {
        mt_srand(13);
        for ($round = 0; $round < 300; $round++) {
            $fields = [];
            for ($k = mt_rand(0, 6); $k > 0; $k--) {
                $fields[] = [self::randomBytes(mt_rand(0, 12)), self::randomBytes(mt_rand(0, [3, 20, 120, 1200][mt_rand(0, 3)]))];
            }
            $flat = [];
            foreach ($fields as [$n, $v]) {
                $flat[] = $n;
                $flat[] = $v;
            }
            $this->assertSame($flat, FieldList::decode(FieldList::encodeStrings($flat)));
        }
    }

    public function testDigitsBlanksLineBreaksAndZeroBytesComeBackUnchanged(): void
    {
        $value = "99 \r\n\x00 0012 9\t\xff";
        $this->assertSame(['Message', $value], FieldList::decode(FieldList::encode(['Message' => $value])));
    }

    public function testIntegerTextFollowsTheClientsRule(): void
    {
        $this->assertSame(42, FieldList::integerText('42'));
        $this->assertSame(42, FieldList::integerText('  +42'));
        $this->assertSame(-16, FieldList::integerText('-0x10'));
        $this->assertSame(255, FieldList::integerText('$ff'));
        $this->assertSame(-1, FieldList::integerText('xFFFFFFFF'));
        $this->assertSame(2147483647, FieldList::integerText('2147483647'));
        $this->assertNull(FieldList::integerText('2147483648'));
        $this->assertNull(FieldList::integerText('5 '));
        $this->assertNull(FieldList::integerText(''));
        $this->assertNull(FieldList::integerText('0x'));
    }

    /**
     * Encodes with PHP and decodes with the client's own C++ reader, built here from
     * src/exchange/UtilsUnit.cpp.
     */
    public function testRoundTripThroughTheClientsReader(): void
    {
        $decoder = self::clientDecoder();
        if ($decoder === null) {
            $this->markTestSkipped('no C++ compiler to build the client\'s field-list reader');
        }
        mt_srand(1313);
        $cases = [];
        foreach ([0, 1, 8, 9, 10, 98, 99, 100, 998, 999, 1000, 9998, 9999, 10000, 100000] as $n) {
            $cases[] = ['Index', '7', 'Header', 'H', 'Title', 'T', 'Message', str_repeat('a', $n), 'Tail', 'z'];
        }
        for ($i = 0; $i < 40; $i++) {
            $strings = [];
            for ($k = mt_rand(0, 8); $k > 0; $k--) {
                $strings[] = self::randomBytes(mt_rand(0, [5, 15, 150, 1500][mt_rand(0, 3)]));
            }
            $cases[] = $strings;
        }
        foreach ($cases as $strings) {
            $this->assertSame($strings, $this->decodeWithClient($decoder, FieldList::encodeStrings($strings)));
        }
    }

    /**
     * What a held poll writes to see that its client is still there, read by the client's own
     * reader: empty pairs, then the answer's strings, so every name looks up as in the answer.
     */
    public function testACheckedLineReadsAsTheAnswerInTheClientsReader(): void
    {
        $decoder = self::clientDecoder();
        if ($decoder === null) {
            $this->markTestSkipped('no C++ compiler to build the client\'s field-list reader');
        }
        $answers = [
            Poller::IDLE_ANSWER,
            Poller::encodeMessage(['idx' => 12, 'header' => 'Shop', 'title' => 'Order', 'html' => '<p>' . str_repeat('9 ', 600) . '</p>'], 5),
        ];
        foreach ([1, 2, 5] as $probes) {
            foreach ($answers as $answer) {
                $decoded = $this->decodeWithClient($decoder, ServerTestCase::throughCheckedLine($answer, $probes));
                $empty = array_fill(0, 2 * ($probes - 1), '');
                $this->assertSame(array_merge($empty, FieldList::decode($answer)), $decoded, "$probes probes");
            }
        }
    }

    /** @return list<string> */
    private function decodeWithClient(string $decoder, string $encoded): array
    {
        $process = proc_open([$decoder], [0 => ['pipe', 'r'], 1 => ['pipe', 'w']], $pipes);
        fwrite($pipes[0], $encoded);
        fclose($pipes[0]);
        $out = stream_get_contents($pipes[1]);
        fclose($pipes[1]);
        $this->assertSame(0, proc_close($process));
        $decoded = [];
        $pos = 0;
        while ($pos < strlen($out)) {
            $nl = strpos($out, "\n", $pos);
            $n = (int)substr($out, $pos, $nl - $pos);
            $decoded[] = substr($out, $nl + 1, $n);
            $pos = $nl + 1 + $n + 1;
        }
        return $decoded;
    }

    private static function clientDecoder(): ?string
    {
        $root = dirname(__DIR__, 2);
        $compiler = trim((string)shell_exec('command -v g++ || command -v clang++'));
        if ($compiler === '' || !is_file("$root/src/exchange/UtilsUnit.cpp")) {
            return null;
        }
        $sources = [
            "$root/src/exchange/UtilsUnit.cpp",
            "$root/src/base/Text.cpp",
            "$root/src/transport/Stream.cpp",
            __DIR__ . '/tools/decode_field_list.cpp',
        ];
        // The client's file stream words its errors through Qt's translations.
        $qtCflags = trim((string)shell_exec('pkg-config --cflags Qt6Core 2>/dev/null'));
        $qtLibs = trim((string)shell_exec('pkg-config --libs Qt6Core 2>/dev/null'));
        if ($qtLibs === '') {
            return null;
        }
        $stamp = substr(hash('sha256', implode('', array_map('file_get_contents', $sources))), 0, 16);
        $binary = sys_get_temp_dir() . "/quorvel-decode-field-list-$stamp";
        if (!is_file($binary)) {
            $command = array_merge(
                [$compiler, '-std=c++20', '-O1', '-fPIC', '-I', "$root/src"],
                preg_split('/\s+/', $qtCflags, -1, PREG_SPLIT_NO_EMPTY),
                ['-o', "$binary.tmp"],
                $sources,
                preg_split('/\s+/', $qtLibs, -1, PREG_SPLIT_NO_EMPTY)
            );
            exec(implode(' ', array_map('escapeshellarg', $command)) . ' 2>&1', $output, $code);
            if ($code !== 0) {
                throw new \RuntimeException("building the client's reader failed:\n" . implode("\n", $output));
            }
            rename("$binary.tmp", $binary);
        }
        return $binary;
    }

    private static function randomBytes(int $n): string
    {
        // Biased towards digits and blanks, which are what a length field is made of.
        $s = '';
        for ($i = 0; $i < $n; $i++) {
            $s .= mt_rand(0, 2) === 0 ? chr(mt_rand(0, 255)) : ' 0123456789'[mt_rand(0, 10)];
        }
        return $s;
    }
}
