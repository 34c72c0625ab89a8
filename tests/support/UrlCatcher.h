#pragma once
// Takes the place of the desktop's handler for a URL scheme, so a test can see which
// addresses a click opens without opening any.

#include <QObject>
#include <QUrl>
#include <vector>

namespace quorvel::testing {

class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

}  // namespace quorvel::testing
