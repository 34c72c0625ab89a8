// The window on a real X server: an Xvfb that this test program starts for itself, with
// the screen read back through a connection of the test's own, as another program (or
// a person) sees it. Skipped where Xvfb cannot be started.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "files/FileList.h"
#include "settings/Settings.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"
#include "ui/PanelInfo.h"

extern char** environ;

namespace quorvel {
namespace {

using testing::ScriptedDialogs;
using testing::TempDir;

// The Xvfb of this test program, the Qt application on it, and a connection of the
// test's own to read the screen.
class XServer : public ::testing::Environment {
 public:
  static XServer* instance;

  void SetUp() override {
    instance = this;
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", nullptr};
    const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr,
                                       const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
      pid_ = -1;
      ::close(fds[0]);
      return;
    }
    // Xvfb writes the number of the display it chose once it accepts connections.
    std::string number;
    struct pollfd p {fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;

    ::setenv("DISPLAY", display_.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("QUORVEL_CODEPAGE", "windows-1250", 0);
    connection_ = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }

  void TearDown() override {
    app_.reset();
    if (connection_) xcb_disconnect(connection_);
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool ready() const { return app_ != nullptr; }
  const std::string& display() const { return display_; }

  // The pixels of area of the screen, as the X server holds them now.
  QImage grab(const QRect& area) const {
    xcb_get_image_cookie_t cookie =
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_, cookie, nullptr);
    if (!reply) return {};
    // Depth 24 at 32 bits a pixel: 0x00RRGGBB in the machine's byte order.
    QImage image(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4,
                 QImage::Format_RGB32);
    QImage copy = image.copy();
    std::free(reply);
    return copy;
  }

  // A click of the left mouse button at a point of the screen, made by xdotool.
  bool click(const QPoint& at) const {
    const std::string x = std::to_string(at.x());
    const std::string y = std::to_string(at.y());
    const char* argv[] = {"xdotool", "mousemove", x.c_str(), y.c_str(), "click", "1", nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "xdotool", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      return false;
    }
    // Qt keeps handling events meanwhile, so the click is taken while xdotool ends.
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) QTest::qWait(5);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // Where window is on the screen, as the X server has it.
  QRect placeOf(const QWidget& window) const {
    const xcb_window_t id = xcb_window_t(window.winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, id), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, id, root_, 0, 0), nullptr);
    QRect place;
    if (geometry && origin) {
      place = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }
    std::free(geometry);
    std::free(origin);
    return place;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  int argc_ = 1;
  char name_[13] = "screen_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

XServer* XServer::instance = nullptr;
[[maybe_unused]] ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new XServer);

// The least of a window manager: it takes over the mapping of windows and maps each
// one only after a delay, as a real one does after its round trips, and moves and
// sizes windows as asked. It draws no frames.
class SlowWindowManager {
 public:
  explicit SlowWindowManager(const std::string& display, std::chrono::milliseconds delay)
      : connection_(xcb_connect(display.c_str(), nullptr)), delay_(delay) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const uint32_t mask =
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t* error = xcb_request_check(
        connection_,
        xcb_change_window_attributes_checked(connection_, root, XCB_CW_EVENT_MASK, &mask));
    running_ = error == nullptr;
    std::free(error);
    if (running_) thread_ = std::thread([this] { serve(); });
  }
  ~SlowWindowManager() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    xcb_disconnect(connection_);
  }
  bool running() const { return running_; }

 private:
  void serve() {
    struct pollfd p {xcb_get_file_descriptor(connection_), POLLIN, 0};
    while (!stop_) {
      xcb_generic_event_t* event = xcb_poll_for_event(connection_);
      if (!event) {
        ::poll(&p, 1, 20);
        continue;
      }
      switch (event->response_type & 0x7f) {
        case XCB_MAP_REQUEST: {
          std::this_thread::sleep_for(delay_);
          xcb_map_window(connection_, reinterpret_cast<xcb_map_request_event_t*>(event)->window);
          break;
        }
        case XCB_CONFIGURE_REQUEST: {
          auto* request = reinterpret_cast<xcb_configure_request_event_t*>(event);
          uint32_t values[7];
          int n = 0;
          const uint16_t mask = request->value_mask & 0x0f;  // position and size only
          if (mask & XCB_CONFIG_WINDOW_X) values[n++] = uint32_t(request->x);
          if (mask & XCB_CONFIG_WINDOW_Y) values[n++] = uint32_t(request->y);
          if (mask & XCB_CONFIG_WINDOW_WIDTH) values[n++] = request->width;
          if (mask & XCB_CONFIG_WINDOW_HEIGHT) values[n++] = request->height;
          xcb_configure_window(connection_, request->window, mask, values);
          break;
        }
        default:
          break;
      }
      std::free(event);
      xcb_flush(connection_);
    }
  }

  xcb_connection_t* connection_;
  std::chrono::milliseconds delay_;
  bool running_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::instance->ready()) GTEST_SKIP() << "no Xvfb to start";
    form_ = std::make_unique<TMainForm>(&dialogs_);
    form_->useSettingsFile(SettingsFileAt(dir_.write("Quorvel.ini", "[GENERAL]\r\n")));
    // Under the place of the panel and of the message boxes, as it usually is.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    form_->move(screen.center() - form_->rect().center());
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  void TearDown() override {
    SetListingHookForTesting(nullptr);
    form_.reset();
  }

  static QPoint screenCentre() {
    return QGuiApplication::primaryScreen()->availableGeometry().center();
  }

  static TPanelInfoForm* openPanel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* panel = qobject_cast<TPanelInfoForm*>(widget);
      if (panel && panel->isVisible()) return panel;
    }
    return nullptr;
  }

  TempDir dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;
};

// While the list is built no event is handled, so whatever the panel shows then it
// showed before the listing began. The listing is held long enough for the X server
// to have drawn everything it was sent. With a window manager the panel is mapped, and
// can be painted, only some time after it was shown.
TEST_F(ScreenTest, TheProgressPanelIsOnTheScreenThroughoutAListing) {
  dir_.write("work/a.txt", "a\n");
  form_->findChild<QLineEdit*>("WorkDirEdit")->setText(QString::fromStdString(dir_ / "work"));
  for (const bool managed : {false, true}) {
    std::optional<SlowWindowManager> manager;
    if (managed) {
      manager.emplace(XServer::instance->display(), std::chrono::milliseconds(150));
      ASSERT_TRUE(manager->running());
    }
    for (int trial = 1; trial <= 3; ++trial) {
      SCOPED_TRACE((managed ? "with a window manager, trial " : "without one, trial ") +
                   std::to_string(trial));
      QImage seen;
      QImage drawn;
      QRect place;
      SetListingHookForTesting([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        TPanelInfoForm* panel = openPanel();
        if (!panel) return;
        place = XServer::instance->placeOf(*panel);
        seen = XServer::instance->grab(place);
        drawn = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
      });
      // A click through the X server, as the user makes it: the listing then starts
      // from inside the handling of X events.
      QWidget* button = form_->findChild<QWidget*>("RecalcButton");
      const QPoint at = XServer::instance->placeOf(*button).center();
      ASSERT_TRUE(XServer::instance->click(at));
      (void)QTest::qWaitFor([&] { return !seen.isNull(); }, 10000);
      ASSERT_FALSE(seen.isNull()) << "no panel during the listing";
      SetListingHookForTesting(nullptr);

      EXPECT_EQ(place.size(), QSize(454, 77));
      EXPECT_LE((place.center() - screenCentre()).manhattanLength(), 2) << "centred";
      EXPECT_EQ(seen.pixelColor(20, 10), QColor(0x8D, 0xB2, 0xE3));
      // The text: dark pixels on the line of the label.
      int textPixels = 0;
      for (int y = 30; y < 43; ++y) {
        for (int x = 8; x < 441; ++x) textPixels += qGray(seen.pixel(x, y)) < 100;
      }
      EXPECT_GT(textPixels, 100);
      EXPECT_TRUE(seen == drawn) << "the screen shows the panel as it paints itself";
      EXPECT_EQ(form_->findChild<QLabel*>("FilesCountValue")->text(), "1");
      (void)QTest::qWaitFor([&] { return openPanel() == nullptr; }, 1000);
      EXPECT_EQ(openPanel(), nullptr);
    }
  }
}

// The boxes are shown by the desktop's own dialogs; a timer looks at each once it is on
// the screen and closes it.
TEST_F(ScreenTest, MessageBoxesAndTheInputBoxAreCentredOnTheScreen) {
  QtDialogs dialogs(form_.get());
  QRect place;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box || !box->windowHandle() || !box->windowHandle()->isExposed()) return;
    place = XServer::instance->placeOf(*box);
    box->reject();
  });
  look.start(20);

  const QString warning = QString::fromUtf8(
      "POZOR! \r\nVypnutí bezpečnostní pojistky může fatálně poškodit všechny vybrané soubory ! "
      "\r\nPro kontrolu, že víte, co děláte a jen tupě neodklepáváte OK tlačítka, zadejte "
      "prosím do \r\nnásledujícího řádku hexadecimální ascii kód znaku carriage return.");
  struct Box {
    const char* name;
    std::function<void()> show;
  };
  const Box boxes[] = {
      {"Warning", [&] { dialogs.showMessage("Warning", warning, MessageIcon::Warning); }},
      {"Information", [&] {
         dialogs.showMessage("Information", QString::fromUtf8("Děkuji."),
                             MessageIcon::Information);
       }},
      {"input box", [&] {
         dialogs.askLine("Kontrola", QString::fromUtf8("Zadejte požadovaný dvojciferný kód :"),
                         255);
       }},
  };
  for (const Box& box : boxes) {
    SCOPED_TRACE(box.name);
    place = QRect();
    box.show();
    ASSERT_TRUE(place.isValid());
    EXPECT_LE(std::abs(place.center().x() - screenCentre().x()), 1) << place.x();
    EXPECT_LE(std::abs(place.center().y() - screenCentre().y()), 1) << place.y();
  }
}

}  // namespace
}  // namespace quorvel
