#include "platform/wayland/sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pixtrel {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t kGetTree = 4;
constexpr int kTimeoutMs = 2000;
constexpr std::uint32_t kLargestTree = 64u << 20;

ui::Rect RectOf(const QJsonValue& value) {
  const QJsonObject r = value.toObject();
  return {r["x"].toInt(), r["y"].toInt(), r["width"].toInt(), r["height"].toInt()};
}

std::optional<WindowRects> Focused(const QJsonObject& node) {
  const QString type = node["type"].toString();
  if (node["focused"].toBool() && (type == "con" || type == "floating_con")) {
    const ui::Rect rect = RectOf(node["rect"]);
    const ui::Rect window = RectOf(node["window_rect"]);
    // The title bar lies above the node's rectangle; its height is the decoration's.
    const int title = RectOf(node["deco_rect"]).height;
    return WindowRects{
        {rect.left, rect.top - title, rect.width, rect.height + title},
        {rect.left + window.left, rect.top + window.top, window.width, window.height}};
  }
  for (const char* children : {"nodes", "floating_nodes"}) {
    for (const QJsonValue child : node[children].toArray()) {
      if (auto found = Focused(child.toObject()))
        return found;
    }
  }
  return std::nullopt;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, kTimeoutMs) != 1)
      return false;
    const ssize_t n = ::read(fd, data, size);
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<WindowRects> FocusedInTree(const std::string& tree_json) {
  const QJsonDocument tree = QJsonDocument::fromJson(QByteArray::fromStdString(tree_json));
  if (!tree.isObject())
    return std::nullopt;
  return Focused(tree.object());
}

std::optional<std::string> SwayTree(const std::string& socket_path) {
  sockaddr_un address{};
  if (socket_path.empty() || socket_path.size() >= sizeof(address.sun_path))
    return std::nullopt;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return std::nullopt;
  std::optional<std::string> tree;
  char header[sizeof(kMagic) + 8];
  std::memcpy(header, kMagic, sizeof(kMagic));
  const std::uint32_t request[2] = {0, kGetTree};
  std::memcpy(header + sizeof(kMagic), request, sizeof(request));
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      WriteAll(fd, header, sizeof(header)) && ReadAll(fd, header, sizeof(header)) &&
      std::memcmp(header, kMagic, sizeof(kMagic)) == 0) {
    std::uint32_t reply[2];
    std::memcpy(reply, header + sizeof(kMagic), sizeof(reply));
    std::string body(reply[0] <= kLargestTree ? reply[0] : 0, '\0');
    if (reply[0] <= kLargestTree && ReadAll(fd, body.data(), body.size()))
      tree = std::move(body);
  }
  ::close(fd);
  return tree;
}

}  // namespace pixtrel
