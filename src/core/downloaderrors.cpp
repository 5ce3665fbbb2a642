#include "downloaderrors.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace corvane {

QString describeNetworkError(QNetworkReply::NetworkError error, int httpStatus)
{
    if (httpStatus == 404 || error == QNetworkReply::ContentNotFoundError)
        return u"服务器上没有这个文件 (HTTP 404)"_s;
    if (httpStatus >= 400 || (httpStatus >= 100 && httpStatus < 200))
        return u"服务器拒绝了下载 (HTTP %1)"_s.arg(httpStatus);
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return u"下载失败：服务器拒绝连接"_s;
    case QNetworkReply::HostNotFoundError:
        return u"下载失败：找不到服务器"_s;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return u"下载失败：连接中断"_s;
    case QNetworkReply::TimeoutError:
        return u"下载失败：连接超时"_s;
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return u"下载失败：重定向过多"_s;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return u"下载失败：无法连接代理服务器"_s;
    case QNetworkReply::SslHandshakeFailedError:
        return u"下载失败：安全连接失败"_s;
    default:
        return u"下载失败：网络错误 (%1)"_s.arg(int(error));
    }
}

QString describeFileError(QFileDevice::FileError error, const QString &path)
{
    const QString where = QDir::toNativeSeparators(path);
    if (QFileInfo(path).isDir())
        return u"无法保存 %1：已有同名文件夹"_s.arg(where);
    switch (error) {
    case QFileDevice::ResourceError:
        return u"无法保存 %1：磁盘空间不足"_s.arg(where);
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError: {
        const QFileInfo folder(QFileInfo(path).absolutePath());
        // The save dialog takes a typed path to a folder that is not there.
        if (!folder.isDir())
            return u"无法保存 %1：文件夹不存在"_s.arg(where);
        return folder.isWritable() ? u"无法保存 %1：无法创建文件"_s.arg(where)
                                   : u"无法保存 %1：没有写入权限"_s.arg(where);
    }
    default:
        return u"无法保存 %1：写入失败"_s.arg(where);
    }
}

} // namespace corvane
