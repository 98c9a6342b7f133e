#pragma once

#include <string>

// The text of a document as UTF-8, whatever encoding its bytes are in.
struct TDecodedDocument {
    std::string text;     // UTF-8
    std::string charset;  // the encoding the bytes were read as, lower case
};

// The character set named by a byte order mark or by a <meta charset> / http-equiv content type
// near the start of the document; empty when none is named.
std::string DeclaredCharset(const std::string& bytes);

// A declared character set wins; otherwise valid UTF-8 is taken as it is and anything else is read
// as windows-1252. Unknown declared names fall back the same way.
TDecodedDocument DecodeDocument(const std::string& bytes);

bool IsValidUtf8(const std::string& bytes);

// Encodes UTF-8 text into the named character set for sending back to the site; characters the
// set cannot hold become numeric character references, as browsers do. UTF-8 names pass through.
std::string EncodeForCharset(const std::string& utf8, const std::string& charset);
