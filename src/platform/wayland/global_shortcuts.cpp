// The hotkey on Wayland: the four combinations of the chosen key, reserved through the
// GlobalShortcuts portal under a session of the program's own.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include "core/error.h"
#include "core/key_names.h"
#include "platform/wayland/wayland_desktop.h"

namespace pixtrel {

struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& shortcut) {
  out.beginStructure();
  out << shortcut.id << shortcut.properties;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& shortcut) {
  in.beginStructure();
  in >> shortcut.id >> shortcut.properties;
  in.endStructure();
  return in;
}

}  // namespace pixtrel

Q_DECLARE_METATYPE(pixtrel::PortalShortcut)

namespace pixtrel {
namespace {

constexpr int kAnswerMs = 5000;
constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";
// The same session token each run: a desktop that keeps the user's choice of keys finds it.
constexpr char kSessionToken[] = "pixtrel";

const char* const kNoShortcuts =
    "Ce bureau ne laisse pas Pixtrel réserver la touche %s. Pour capturer, associez dans les "
    "raccourcis clavier du bureau :\n"
    "  %s : pixtrel --capture screen\n"
    "  Alt+%s : pixtrel --capture window\n"
    "  Ctrl+%s : pixtrel --capture client\n"
    "  Maj+%s : pixtrel --capture region";

const char* const kNoMouseButton =
    "Un bouton de la souris ne peut pas être réservé comme touche de capture sur ce bureau : "
    "Pixtrel garde la touche %s.";

std::string NameOf(std::uint8_t key) {
  for (const KeyName& entry : kKeyNames) {
    if (entry.code == key)
      return std::string(entry.name);
  }
  return "F12";
}

// The key as the shortcut portals name it: an XKB key name, which KDE reads through Qt's key
// names where the two differ.
QString TriggerKey(std::uint8_t key, bool kde) {
  if (key >= vk::kF1 && key <= vk::kF12)
    return QStringLiteral("F%1").arg(key - vk::kF1 + 1);
  switch (key) {
    case vk::kEscape:
      return "Escape";
    case vk::kPrintScreen:
      return "Print";
    case vk::kEnd:
      return "End";
    case vk::kInsert:
      return "Insert";
    case vk::kDelete:
      return "Delete";
    case vk::kPageUp:
      return kde ? "PgUp" : "Page_Up";
    case vk::kPageDown:
      return kde ? "PgDown" : "Page_Down";
    case vk::kUp:
      return "Up";
    case vk::kDown:
      return "Down";
    case vk::kLeft:
      return "Left";
    case vk::kRight:
      return "Right";
    default:
      return {};
  }
}

bool IsMouseButton(std::uint8_t key) {
  return key == vk::kLeftButton || key == vk::kRightButton || key == vk::kMiddleButton;
}

QList<PortalShortcut> ShortcutsFor(const QString& key) {
  struct Entry {
    CaptureMode mode;
    const char* modifier;
    const char* description;
  };
  static constexpr Entry kEntries[] = {
      {CaptureMode::kScreen, "", "Pixtrel : copier l'écran entier"},
      {CaptureMode::kWindow, "ALT+", "Pixtrel : copier la fenêtre active et son cadre"},
      {CaptureMode::kClient, "CTRL+", "Pixtrel : copier le contenu de la fenêtre active"},
      {CaptureMode::kRegion, "SHIFT+", "Pixtrel : copier un rectangle de l'écran"},
  };
  QList<PortalShortcut> shortcuts;
  for (const Entry& entry : kEntries) {
    shortcuts.append({QString::fromUtf8(ModeName(entry.mode).data(),
                                        static_cast<qsizetype>(ModeName(entry.mode).size())),
                      {{"description", QString::fromUtf8(entry.description)},
                       {"preferred_trigger", QString::fromLatin1(entry.modifier) + key}}});
  }
  return shortcuts;
}

// Whether the answer lists all four shortcuts as bound.
bool AllBound(const PortalAnswer& answer) {
  const QVariant listed = answer.results.value("shortcuts");
  if (!listed.isValid())
    return false;
  const auto bound = qdbus_cast<QList<PortalShortcut>>(listed);
  int found = 0;
  for (const PortalShortcut& shortcut : bound)
    found += ModeNamed(shortcut.id.toStdString()).has_value() ? 1 : 0;
  return found >= 4;
}

}  // namespace

void WaylandDesktop::WatchKey(std::uint8_t key) {
  if (bound_key_ == key)
    return;
  if (IsMouseButton(key)) {
    // Told once per choice: the next Run with the same key says nothing again.
    const std::string kept = NameOf(bound_key_.value_or(vk::kF12));
    if (!bound_key_)
      BindShortcuts(vk::kF12);
    tell_(FormatText(kNoMouseButton, {kept}));
    return;
  }
  BindShortcuts(key);
}

void WaylandDesktop::BindShortcuts(std::uint8_t key) {
  bound_key_ = key;
  const std::string name = NameOf(key);
  if (!shortcuts_) {
    SayNoShortcuts(name);
    return;
  }
  static const bool registered = [] {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    return true;
  }();
  (void)registered;
  const QString trigger = TriggerKey(key, compositor_ == Compositor::kKWin);
  if (bus_.PortalVersion(kInterface) == 0 || !CreateSession(trigger))
    SayNoShortcuts(name);
}

bool WaylandDesktop::CreateSession(const QString& key) {
  // A new key: the old session's shortcuts go with it.
  if (!session_.isEmpty()) {
    QDBusMessage close = QDBusMessage::createMethodCall(kPortalService, session_,
                                                        "org.freedesktop.portal.Session", "Close");
    QDBusConnection::sessionBus().call(close, QDBus::Block, kAnswerMs);
    session_.clear();
  }
  const QList<PortalShortcut> shortcuts = ShortcutsFor(key);
  // KDE 5.27 binds the shortcuts given here, and only those; the others bind them below.
  const std::optional<PortalAnswer> created =
      bus_.Request(kInterface, "CreateSession", {},
                   {{"session_handle_token", QString::fromLatin1(kSessionToken)},
                    {"shortcuts", QVariant::fromValue(shortcuts)}},
                   kAnswerMs);
  if (!created || created->code != 0)
    return false;
  // KDE 5.27 leaves the handle out of its answer; it is the one the token makes.
  const QVariant handle = created->results.value("session_handle");
  session_ = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                 ? handle.value<QDBusObjectPath>().path()
                 : handle.toString();
  if (session_.isEmpty())
    session_ = bus_.SessionPath(kSessionToken);
  if (AllBound(*created))
    return true;
  // Newer desktops ask the user to approve: that takes longer than a machine's answer.
  const std::optional<PortalAnswer> bound = bus_.Request(
      kInterface, "BindShortcuts",
      {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
      {}, 60000);
  return bound && bound->code == 0;
}

void WaylandDesktop::SayNoShortcuts(const std::string& name) {
  shortcuts_ = false;
  if (told_no_shortcuts_)
    return;
  told_no_shortcuts_ = true;
  tell_(FormatText(kNoShortcuts, {name, name, name, name, name}));
}

}  // namespace pixtrel
