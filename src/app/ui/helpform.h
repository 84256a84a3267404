#pragma once

#include <QWidget>
#include <string>

class QTextBrowser;

namespace quillon {

// The program's own help viewer: shows the help file shipped beside the executable.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    // Opens the file at its contents; false when it cannot be read.
    bool OpenContents(const std::string& file);
    // Closes the viewer if it shows that file.
    void CloseFile(const std::string& file);
    const std::string& OpenFile() const { return file_; }

private:
    QTextBrowser* browser_;
    std::string file_;
};

} // namespace quillon
