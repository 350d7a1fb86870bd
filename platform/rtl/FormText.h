// Readable text form of a window description, converted to and from the binary form stream.
//
// Syntax (one component):
//
//   object Form1: TForm1            "inherited" and "inline" set the stream's flags;
//     Caption = 'It''s'#13#10'two'  an optional " [n]" after the class gives the child order
//     Left = -8                     integers ($1F hex), floats (1.5, 2E10; suffix s, c, d
//     Font.Name = 'Tahoma'          for single, currency and date), 'strings' with #n codes
//     Visible = True                joined by +, identifiers, True/False/nil/Null,
//     Options = [fpState, fpPosition]   sets, ( lists ), < collections >
//     Lines.Strings = (
//       'one'
//       'two')
//     Items = <
//       item
//         Name = 'a'
//       end>
//     Data = {0A0B0C}               binary data in hexadecimal
//     ResData = {@file: data/readme.lzh}   binary data from a file
//     object Button1: TButton
//     end
//   end
//
// "{@name: argument}" runs the binary directive registered under `name`. Built in, with paths
// relative to the text's folder:
//   {@file: path}                  the file's bytes verbatim
//   {@picture: TClassName path}    a picture's "Data": the class name as a byte-length string,
//                                  the file's size as 32 bits little-endian, then the file
// Build steps that need more (compressing a file first) register their own directive.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <functional>
#include <string>

namespace rtl {

// Syntax errors in a text form: "line 12: ')' expected but 'end' found".
class EParserError : public Exception {
public:
    explicit EParserError(std::string message) : Exception(std::move(message)) {}
};

// Writes the bytes for "{@name: argument}" to `out`. `baseDir` is the text's folder ("" for
// the current one). Raise an Exception to reject the argument.
using TBinaryDirective =
    std::function<void(const std::string& argument, const std::string& baseDir, TStream& out)>;
void RegisterBinaryDirective(const std::string& name, TBinaryDirective directive);

// Text (from the current position of `input`) to a binary form stream written to `output`.
// Raises EParserError for syntax errors and the directive's exception for failed directives.
void ObjectTextToBinary(TStream& input, TStream& output, const std::string& baseDir = "");
// Binary form stream to text. Raises EReadError for malformed input.
void ObjectBinaryToText(TStream& input, TStream& output);

}  // namespace rtl
