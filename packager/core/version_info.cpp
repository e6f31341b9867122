#include "packager/core/version_info.h"

#include <algorithm>

#include "common/byte_order.h"
#include "common/package_description.h"
#include "common/utf.h"

namespace vx {

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr uint16_t kFixedInfoSize = 52;
constexpr uint16_t kTextNode = 1;
constexpr uint16_t kBinaryNode = 0;

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

bool Fail(std::string& why, const std::string& text) {
  why = text;
  return false;
}

std::u16string Ascii16(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
}

// Writes nodes depth first; each node's length is filled in when it ends.
class NodeWriter {
 public:
  size_t begin(const std::u16string& key, uint16_t valueLength, uint16_t type) {
    pad();
    size_t start = m_out.size();
    m_out.resize(start + 6, 0);
    StoreLE16(&m_out[start + 2], valueLength);
    StoreLE16(&m_out[start + 4], type);
    units(key);
    unit(0);
    pad();
    return start;
  }
  void end(size_t start) {
    size_t length = m_out.size() - start;
    if (length > 0xFFFF) m_overflow = true;
    StoreLE16(&m_out[start], static_cast<uint16_t>(length));
  }
  void units(const std::u16string& text) {
    for (char16_t c : text) unit(c);
  }
  void unit(char16_t c) { dword16(static_cast<uint16_t>(c)); }
  void dword(uint32_t v) {
    size_t at = m_out.size();
    m_out.resize(at + 4);
    StoreLE32(&m_out[at], v);
  }
  bool overflow() const { return m_overflow; }
  std::vector<uint8_t>& bytes() { return m_out; }

 private:
  void dword16(uint16_t v) {
    size_t at = m_out.size();
    m_out.resize(at + 2);
    StoreLE16(&m_out[at], v);
  }
  void pad() {
    while (m_out.size() % 4) m_out.push_back(0);
  }
  std::vector<uint8_t> m_out;
  bool m_overflow = false;
};

// One node as read: [start, end) is the whole node; its value begins at valueAt and
// its children at childrenAt (both within the node).
struct Node {
  size_t start = 0, end = 0;
  uint16_t valueLength = 0, type = 0;
  std::u16string key;
  size_t valueAt = 0, childrenAt = 0;
};

bool ReadNode(const uint8_t* data, size_t limit, size_t at, Node& n, std::string& why) {
  if (at > limit || limit - at < 6)
    return Fail(why, "damaged version resource (a node runs past its parent)");
  uint16_t length = LoadLE16(data + at);
  if (length < 6 || length > limit - at)
    return Fail(why, "damaged version resource (a node's length is wrong)");
  n.start = at;
  n.end = at + length;
  n.valueLength = LoadLE16(data + at + 2);
  n.type = LoadLE16(data + at + 4);
  n.key.clear();
  size_t p = at + 6;
  for (;;) {
    if (n.end - p < 2) return Fail(why, "damaged version resource (a key has no end)");
    char16_t c = static_cast<char16_t>(LoadLE16(data + p));
    p += 2;
    if (c == 0) break;
    n.key += c;
  }
  n.valueAt = std::min(Align4(p), n.end);
  size_t valueBytes = n.type == kTextNode ? 2 * size_t(n.valueLength) : n.valueLength;
  n.childrenAt = std::min(Align4(n.valueAt + std::min(valueBytes, n.end - n.valueAt)), n.end);
  return true;
}

// The text value of a node: UTF-16 up to the first zero or the node's end.
std::u16string TextValue(const uint8_t* data, const Node& n) {
  std::u16string text;
  for (size_t p = n.valueAt; n.end - p >= 2; p += 2) {
    char16_t c = static_cast<char16_t>(LoadLE16(data + p));
    if (c == 0) break;
    text += c;
  }
  return text;
}

// Calls fn(child) for each child of `parent`; false when one is damaged.
template <typename Fn>
bool ForEachChild(const uint8_t* data, const Node& parent, std::string& why, Fn fn) {
  size_t at = parent.childrenAt;
  while (at < parent.end && parent.end - at >= 6) {
    Node child;
    if (!ReadNode(data, parent.end, at, child, why)) return false;
    if (!fn(child)) return false;
    at = Align4(child.end);
  }
  return true;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool IsVersionKey(const std::string& key) { return key == "FileVersion" || key == "ProductVersion"; }

}  // namespace

bool ParseVersionNumber(const std::string& text, VersionNumber& out) {
  VersionNumber v;
  size_t part = 0, digits = 0;
  uint32_t value = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || part >= 4) return false;
      v.parts[part++] = static_cast<uint16_t>(value);
      value = 0;
      digits = 0;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    ++digits;
    if (value > 0xFFFF) return false;
  }
  out = v;
  return true;
}

std::string VersionNumberText(const VersionNumber& v) {
  return std::to_string(v.parts[0]) + "." + std::to_string(v.parts[1]) + "." + std::to_string(v.parts[2]) +
         "." + std::to_string(v.parts[3]);
}

const std::u16string* VersionResource::find(const std::u16string& key) const {
  for (const VersionStringTable& t : tables)
    for (const VersionString& s : t.strings)
      if (s.key == key) return &s.value;
  return nullptr;
}

bool SerializeVersionResource(const VersionResource& r, std::vector<uint8_t>& out) {
  NodeWriter w;
  size_t root = w.begin(u"VS_VERSION_INFO", r.hasFixedInfo ? kFixedInfoSize : 0, kBinaryNode);
  if (r.hasFixedInfo) {
    auto ms = [](const VersionNumber& v) { return (uint32_t(v.parts[0]) << 16) | v.parts[1]; };
    auto ls = [](const VersionNumber& v) { return (uint32_t(v.parts[2]) << 16) | v.parts[3]; };
    for (uint32_t v : {kFixedInfoSignature, kFixedInfoStructVersion, ms(r.fileVersion), ls(r.fileVersion),
                       ms(r.productVersion), ls(r.productVersion), r.fileFlagsMask, r.fileFlags, r.fileOS,
                       r.fileType, r.fileSubtype, r.fileDateMS, r.fileDateLS})
      w.dword(v);
  }
  if (!r.tables.empty()) {
    size_t info = w.begin(u"StringFileInfo", 0, kTextNode);
    for (const VersionStringTable& t : r.tables) {
      size_t table = w.begin(t.name, 0, kTextNode);
      for (const VersionString& s : t.strings) {
        if (s.value.size() >= 0xFFFF) return false;
        size_t node = w.begin(s.key, static_cast<uint16_t>(s.value.size() + 1), kTextNode);
        w.units(s.value);
        w.unit(0);
        w.end(node);
      }
      w.end(table);
    }
    w.end(info);
  }
  if (!r.translations.empty()) {
    size_t info = w.begin(u"VarFileInfo", 0, kTextNode);
    if (r.translations.size() > 0x3FFF) return false;
    size_t var = w.begin(u"Translation", static_cast<uint16_t>(4 * r.translations.size()), kBinaryNode);
    for (uint32_t t : r.translations) w.dword(t);
    w.end(var);
    w.end(info);
  }
  w.end(root);
  if (w.overflow()) return false;
  out.swap(w.bytes());
  return true;
}

bool ParseVersionResource(const uint8_t* data, size_t size, VersionResource& out, std::string& why) {
  out = VersionResource();
  out.hasFixedInfo = false;
  Node root;
  if (!ReadNode(data, size, 0, root, why)) return false;
  if (root.key != u"VS_VERSION_INFO") return Fail(why, "not a version resource (no VS_VERSION_INFO)");
  if (root.valueLength != 0) {
    if (root.valueLength < kFixedInfoSize || root.end - root.valueAt < kFixedInfoSize)
      return Fail(why, "damaged version resource (the fixed file information is cut short)");
    const uint8_t* f = data + root.valueAt;
    if (LoadLE32(f) != kFixedInfoSignature)
      return Fail(why, "damaged version resource (the fixed file information has no signature)");
    auto number = [&](size_t at) {
      VersionNumber v;
      uint32_t ms = LoadLE32(f + at), ls = LoadLE32(f + at + 4);
      v.parts[0] = static_cast<uint16_t>(ms >> 16);
      v.parts[1] = static_cast<uint16_t>(ms);
      v.parts[2] = static_cast<uint16_t>(ls >> 16);
      v.parts[3] = static_cast<uint16_t>(ls);
      return v;
    };
    out.hasFixedInfo = true;
    out.fileVersion = number(8);
    out.productVersion = number(16);
    out.fileFlagsMask = LoadLE32(f + 24);
    out.fileFlags = LoadLE32(f + 28);
    out.fileOS = LoadLE32(f + 32);
    out.fileType = LoadLE32(f + 36);
    out.fileSubtype = LoadLE32(f + 40);
    out.fileDateMS = LoadLE32(f + 44);
    out.fileDateLS = LoadLE32(f + 48);
  }
  return ForEachChild(data, root, why, [&](const Node& child) {
    if (child.key == u"StringFileInfo") {
      return ForEachChild(data, child, why, [&](const Node& table) {
        VersionStringTable t;
        t.name = table.key;
        bool ok = ForEachChild(data, table, why, [&](const Node& s) {
          t.strings.push_back({s.key, TextValue(data, s)});
          return true;
        });
        out.tables.push_back(std::move(t));
        return ok;
      });
    }
    if (child.key == u"VarFileInfo") {
      return ForEachChild(data, child, why, [&](const Node& var) {
        if (var.key != u"Translation") return true;
        size_t bytes = std::min<size_t>(var.valueLength, var.end - var.valueAt);
        for (size_t p = 0; p + 4 <= bytes; p += 4)
          out.translations.push_back(LoadLE32(data + var.valueAt + p));
        return true;
      });
    }
    return true;  // other children are not ours to read
  });
}

bool ParseVersionSetting(const std::string& argument, std::string& key, std::string& value,
                         std::string& why) {
  size_t eq = argument.find('=');
  if (eq == std::string::npos) return Fail(why, "--version-info needs KEY=VALUE, not '" + argument + "'");
  std::string given = argument.substr(0, eq);
  key.clear();
  for (const char* k : kVersionKeys)
    if (EqualsIgnoringCase(given, k)) key = k;
  if (key.empty()) {
    std::string known;
    for (const char* k : kVersionKeys) known += std::string(known.empty() ? "" : ", ") + k;
    return Fail(why, "unknown version key '" + given + "' (known keys: " + known + ")");
  }
  value = argument.substr(eq + 1);
  VersionNumber v;
  if (IsVersionKey(key) && !ParseVersionNumber(value, v))
    return Fail(why, key + " '" + value + "' is not a version a.b.c.d (one to four parts, each 0 to 65535)");
  size_t length = TitleToUtf16(value).size();
  if (length > kMaxVersionValueLength)
    return Fail(why, key + " has " + std::to_string(length) + " characters; at most " +
                         std::to_string(kMaxVersionValueLength) + " are allowed");
  return true;
}

bool PackageVersionResource(const VersionSettings& settings, const std::string& fileName,
                            VersionResource& out, std::string& why) {
  const size_t count = sizeof kVersionKeys / sizeof kVersionKeys[0];
  std::string values[count];
  bool given[count] = {};
  for (const auto& s : settings) {
    std::string key, value;
    if (!ParseVersionSetting(s.first + "=" + s.second, key, value, why)) return false;
    for (size_t i = 0; i < count; ++i)
      if (key == kVersionKeys[i]) {
        values[i] = value;
        given[i] = true;
      }
  }
  auto index = [&](const char* key) {
    for (size_t i = 0; i < count; ++i)
      if (std::string(kVersionKeys[i]) == key) return i;
    return count;
  };
  const size_t file = index("FileVersion"), product = index("ProductVersion"),
               original = index("OriginalFilename");
  if (given[file] != given[product]) {
    size_t from = given[file] ? file : product, to = given[file] ? product : file;
    values[to] = values[from];
    given[to] = true;
  }
  if (!given[original] && !fileName.empty()) {
    values[original] = fileName;
    given[original] = true;
  }

  out = VersionResource();
  out.hasFixedInfo = true;
  if (given[file]) ParseVersionNumber(values[file], out.fileVersion);
  if (given[product]) ParseVersionNumber(values[product], out.productVersion);
  VersionStringTable table;
  table.name = Ascii16(kVersionStringTable);
  for (size_t i = 0; i < count; ++i)
    if (given[i]) table.strings.push_back({Ascii16(kVersionKeys[i]), TitleToUtf16(values[i])});
  out.tables.push_back(std::move(table));
  out.translations.push_back(kVersionTranslation);
  return true;
}

}  // namespace vx
