#pragma once
// The text model of one processed file: its lines, how bytes split into lines and
// how lines are written back (CR LF after every line).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteBuffer.h"
#include "platform/FileTransaction.h"

namespace quorvel {

namespace platform {
class CodePage;
}

// What opening a loaded file showed: how many bytes it held and its read-only bit, so
// a run need not ask the file system again.
struct LoadedFile {
  int64_t size = 0;
  bool readOnly = false;
};

// An ordered list of lines, none holding CR, LF or NUL. The lines are kept back to
// back in their joined form (each followed by CR LF), so joining and saving cost no
// copy and appending costs one. A list loaded again and again keeps its memory, so a
// run over many files allocates only for the largest.
class LineList {
 public:
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](size_t i) const;

  void clear();
  void reserve(size_t bytes) { joined_.reserve(bytes); }
  void append(std::string_view line);
  // Appends line i of other, which may be long: one copy of its bytes and line end.
  void appendFrom(const LineList& other, size_t i);
  // Appends lines first to last (exclusive) of other in one copy.
  void appendRange(const LineList& other, size_t first, size_t last);
  // Replaces the content with the lines of bytes split by the line-end rules.
  void assignSplit(std::string_view bytes);

  // Every line followed by CR LF.
  std::string_view joined() const { return joined_.view(); }
  // Where line i starts in joined().
  size_t offsetOf(size_t i) const { return i == 0 ? 0 : ends_[i - 1]; }
  // The index of the line whose bytes or line end hold joined() offset, searching
  // from line first on; size() when the offset lies past the end.
  size_t lineAt(size_t offset, size_t first = 0) const;

 private:
  friend LoadedFile LoadLines(const std::string& path, LineList& list);
  friend class LineStream;

  // Splits bytes (which may be read_) into the list; returns where the text stopped:
  // the size of bytes, or the offset of the NUL that ends it.
  size_t split(std::string_view bytes);
  // Splits the file just read into read_.
  void splitRead();
  // Copies bytes from i on into joined_, which holds the lines before them, converting
  // every line end; ends_ and joined_ get the lines that follow. Returns where the
  // text stopped, as split does.
  size_t convertFrom(const char* p, size_t i, size_t n);

  platform::ByteBuffer joined_;
  platform::ByteBuffer read_;  // the bytes of the file being loaded
  std::vector<size_t> ends_;   // offset just past each line's CR LF
};

LoadedFile LoadLines(const std::string& path, LineList& list);  // "Cannot open file %s"
std::string JoinLines(const LineList& list);
// "Cannot create file %s", "Stream write error"; "Cannot open file %s" when the file it
// replaces was changed or held open for writing meanwhile.
void SaveLines(const LineList& list, const std::string& path,
               const platform::WriteRequest& request = {});
// The size of the file at path, or -1 when there is none or it is a directory.
int64_t FileSize64(const std::string& path);
// False when a NUL byte cut off more of the file than joining the lines adds back.
bool LooksLikeText(const LineList& list, const std::string& path);
// The same test against the size of the file the lines were loaded from.
bool LooksLikeText(const LineList& list, int64_t fileSize);

// Upper-cases under the active code page, byte for byte, keeping the length.
std::string UpperAnsi(std::string_view text);

}  // namespace quorvel
