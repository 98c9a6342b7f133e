// Decodes standard input with the client's own field-list reader (src/exchange/UtilsUnit.cpp)
// and prints each decoded string as its length in decimal, a newline, its bytes and a newline.
// Built by FieldListTest to check the PHP encoder against the real client.
#include <iostream>
#include <iterator>
#include <string>

#include "exchange/UtilsUnit.h"

int main() {
    std::ios::sync_with_stdio(false);
    const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    for (const ByteString& s : ParseFieldList(input)) std::cout << s.size() << '\n' << s << '\n';
    return 0;
}
