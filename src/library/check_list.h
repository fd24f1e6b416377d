#pragma once
// The check lists of the library windows: one picture path per row, each
// with a tick box. A click anywhere on a row, its tick box included, makes
// it the highlighted row, as the lists' users expect.
#include <QListWidget>

#include <string>

namespace tw {

class CheckList : public QListWidget {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    // Adds a row for a path (file-system text), unticked.
    void addPath(const std::string& path);
    // The highlighted row, -1 for none.
    int highlightedRow() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace tw
