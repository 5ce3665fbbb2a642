# Every source here parses the same standard and Qt headers first: two seconds for
# <QObject> alone in C++20, four for <QTest>, against one or two for the code that
# follows. They are parsed once a build into a few shared precompiled headers instead of
# once a source.
#
# Each set holds only what its layer may include: a core source that includes <QWidget>
# still fails to compile. GCC uses a precompiled header only where the macros defined on
# the command line are the very same (Qt's QT_<MODULE>_LIB among them, and Qt Test's
# source and build folders), so each host links what its users link, and tests share
# the host made in their own folder. A target whose macros differ says so at once:
# -Winvalid-pch is on, and warnings fail the build.
set(corvane_core_headers
    <algorithm> <chrono> <functional> <memory> <optional> <stdexcept>
    <QByteArray> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash> <QImage> <QList>
    <QNetworkAccessManager> <QNetworkReply> <QNetworkRequest> <QObject> <QPointer>
    <QRegularExpression> <QSaveFile> <QString> <QStringList> <QTimer> <QUrl>
    <QCoroTask> <QCoroNetwork>)
set(corvane_gui_headers ${corvane_core_headers}
    <QApplication> <QDialog> <QLabel> <QLineEdit> <QMediaPlayer> <QPainter>
    <QPushButton> <QWidget>)
set(corvane_test_headers <QTest> <QSignalSpy> <QTemporaryDir>)
# What the users of each set link of Qt: their QT_<MODULE>_LIB macros.
set(corvane_core_qt Qt6::Core Qt6::Network Qt6::Gui QCoro6::Core QCoro6::Network)
set(corvane_gui_qt ${corvane_core_qt} Qt6::Widgets Qt6::Multimedia)

# Clang's modules check macros differently, and the fuzzing build is small: none there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT CORVANE_FUZZ)
    set(CORVANE_PRECOMPILE ON)
else()
    set(CORVANE_PRECOMPILE OFF)
endif()

# corvane_pch_host(<name> HEADERS <headers...> LIBRARIES <what its users link...>)
function(corvane_pch_host name)
    if(NOT CORVANE_PRECOMPILE)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "HEADERS;LIBRARIES" ${ARGN})
    add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/cmake/precompiled.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} corvane_options)
    target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
    # Qt Test names the folder of the target that uses it; every test of a folder names
    # the same one.
    set_target_properties(${name} PROPERTIES AUTOMOC OFF QT_TESTCASE_BUILDDIR ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

function(corvane_use_pch target host)
    if(CORVANE_PRECOMPILE)
        target_precompile_headers(${target} REUSE_FROM ${host})
    endif()
endfunction()
