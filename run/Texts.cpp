#include "run/Texts.h"

namespace quorvel {

std::string LfLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

void AppendOctalEscape(std::string& out, unsigned char byte) {
  out.push_back('\\');
  out.push_back(char('0' + (byte >> 6)));
  out.push_back(char('0' + ((byte >> 3) & 7)));
  out.push_back(char('0' + (byte & 7)));
}

}  // namespace quorvel
