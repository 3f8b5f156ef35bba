// The file dialogs' own behaviour: where the folder picker starts, and the picture preview.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "picture_preview.h"
#include "user_dialogs.h"

using namespace ostravex::app;

class UserDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void folderPickerShowsTheFolderSelectedInItsParent_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("shownFolder");  // empty: where the dialog opens by itself
        QTest::addColumn<QString>("selected");
        QTest::newRow("a folder") << "roms/nds"
                                  << "roms"
                                  << "roms/nds";
        QTest::newRow("with a trailing slash") << "roms/nds/"
                                               << "roms"
                                               << "roms/nds";
        QTest::newRow("a name with spaces and non-ASCII") << "roms/Pokémon Perle"
                                                          << "roms"
                                                          << "roms/Pokémon Perle";
        QTest::newRow("no such folder") << "roms/gone"
                                        << ""
                                        << "";
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "";
    }
    void folderPickerShowsTheFolderSelectedInItsParent() {
        QFETCH(QString, start);
        QFETCH(QString, shownFolder);
        QFETCH(QString, selected);
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("roms/nds"));
        QDir().mkpath(dir.filePath("roms/Pokémon Perle"));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::Directory);
        const QString opensAt = dialog.directory().absolutePath();
        PreselectFolder(dialog, start.isEmpty() ? QString() : dir.filePath(start));
        if (shownFolder.isEmpty()) {
            QCOMPARE(dialog.directory().absolutePath(), opensAt);
            return;
        }
        QCOMPARE(dialog.directory().absolutePath(), dir.filePath(shownFolder));
        QCOMPARE(dialog.selectedFiles(), QStringList{dir.filePath(selected)});
    }

    // The picker opens at the home folder when it has no folder to show (a new user's
    // first scan, an empty output folder), and a path typed at once goes into its path
    // field.
    void folderPickerStartsAtHomeWithThePathFieldFocused_data() {
        QTest::addColumn<QString>("start");
        QTest::newRow("nothing") << "";
        QTest::newRow("no such folder") << "/no/such/folder";
    }
    void folderPickerStartsAtHomeWithThePathFieldFocused() {
        QFETCH(QString, start);
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        QString shownFolder;
        QString focused;
        QTimer::singleShot(0, [&] {
            // Once the picker's own event loop runs.
            QTest::qWait(100);
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shownFolder = dialog->directory().absolutePath();
            if (QWidget* widget = dialog->focusWidget()) {
                focused = widget->objectName();
            }
            dialog->reject();
        });
        UserDialogs dialogs;
        QVERIFY(!dialogs.pickFolder(nullptr, "Pick output folder", start));
        QCOMPARE(shownFolder, QDir(home.path()).absolutePath());
        QCOMPARE(focused, QString("fileNameEdit"));
    }

    void theRootOpensAsItself() {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        PreselectFolder(dialog, "/");
        QCOMPARE(dialog.directory().absolutePath(), QString("/"));
    }

    void pictureDialogPreviewsTheCurrentFile() {
        QTemporaryDir dir;
        QImage photo(800, 600, QImage::Format_RGB32);
        photo.fill(Qt::darkGreen);
        QVERIFY(photo.save(dir.filePath("photo.jpg"), "JPG"));
        QFile text(dir.filePath("notes.jpg"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
        text.close();

        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        PicturePreview* preview = AttachPicturePreview(dialog);
        QVERIFY(preview);
        emit dialog.currentChanged(dir.filePath("photo.jpg"));
        QCOMPARE(preview->sizeText->text(), QString("800x600"));
        const QPixmap shown = preview->picture->pixmap();
        QCOMPARE(shown.size(), QSize(160, 120));
        const QColor middle = shown.toImage().pixelColor(80, 60);
        QVERIFY(middle.red() < 10 && std::abs(middle.green() - 128) < 10 && middle.blue() < 10);

        // A file that is no picture, and a folder, empty the preview.
        for (const QString& other : {dir.filePath("notes.jpg"), dir.path()}) {
            emit dialog.currentChanged(dir.filePath("photo.jpg"));
            emit dialog.currentChanged(other);
            QVERIFY(preview->picture->pixmap().isNull());
            QVERIFY(preview->sizeText->text().isEmpty());
        }
    }
};

QTEST_MAIN(UserDialogsTest)
#include "user_dialogs_test.moc"
