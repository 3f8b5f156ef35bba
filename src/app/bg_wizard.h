#pragma once

#include <QDialog>
#include <functional>

#include <vector>

#include "backgrounds/background_rules.h"
#include "jpeg_picture.h"
#include "main_options_binding.h"
#include "settings_store.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;

namespace ostravex::app {

class UserDialogs;

// "Jpeg Picture Processing Wizard": chooses how the background is picked, and turns any
// JPEG picture into a 577 × 432 one by stretching or cropping it.
class TBgWizard : public QDialog {
    Q_OBJECT
  public:
    // `tryBackground` shows a picture on the main window at once ("Try Background").
    TBgWizard(UserDialogs& dialogs, std::function<void(const QImage&)> tryBackground,
              QWidget* parent = nullptr);

    QScrollArea* pictureArea;
    QLabel* Image1;  // the working picture, in the picture area
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* LoadPic;
    QPushButton* SavePic;
    QPushButton* OpenCrop;
    QPushButton* StretchPic;
    QGroupBox* FlatGroupBox1;
    QRadioButton* RandomBgs;
    QLineEdit* BgsPath;
    QToolButton* FlatButton4;
    QRadioButton* FixedBg;
    QPushButton* FlatButton1;  // "Set Default Picture"
    QLineEdit* FixedBgPath;
    QPushButton* Button1;  // "Try Background"

    void LoadPicClick();
    void FlatButton1Click();
    void FlatButton4Click();
    void Button1Click();
    void StretchPicClick();
    void SavePicClick();
    void OpenCropClick();
    // The crop wizard's result becomes the working picture.
    void takeCrop(const JpegPicture& cropped);

    const JpegPicture& picture() const { return m_picture; }
    // The wizard's group of stored values, as its controls show them.
    SettingValues choices() const;
    void applyChoices(const SettingValues& choices);
    // Reads and writes the stored choices.
    void restoreChoices();
    void saveChoices();

    // Closing: the choices are saved.
    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool loadJpeg(JpegPicture& picture, QString& path);
    void setPicture(JpegPicture picture);

    UserDialogs& m_dialogs;
    std::function<void(const QImage&)> m_tryBackground;
    JpegPicture m_picture;
    std::vector<ControlBinding> m_bindings;  // one per stored value
    SettingsStore m_store;
    bool m_saved = false;
};

}  // namespace ostravex::app
