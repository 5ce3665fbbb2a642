#pragma once

#include <stdexcept>

namespace corvane {

// Every failure of the core is one of these. Handlers catch them at their edge:
// none may cross a Qt event-loop boundary.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The network request could not be made or did not complete.
class FetchError : public Error
{
public:
    using Error::Error;
};

class FetchTimeout final : public FetchError
{
public:
    using FetchError::FetchError;
};

class FetchTooLarge final : public FetchError
{
public:
    using FetchError::FetchError;
};

// Not a failure: whoever wanted the answer has stopped the work it belonged to (see
// Requests). It derives from no Error, so that no handler of failures takes it for one
// and goes on with the next step.
class FetchStopped final : public std::runtime_error
{
public:
    FetchStopped() : std::runtime_error("the work was stopped") {}
};

// A text lacks a marker that the cutting relies on, or an answer is not what it must be.
class ContentError : public Error
{
public:
    using Error::Error;
};

// The link conversion will not convert the song (it answers "IPDeny" outside mainland
// China, and for songs it does not know).
class LinkRefused final : public ContentError
{
public:
    using ContentError::ContentError;
};

// The link serves the service's short spoken notice of a paid song, not the song.
class NoticeOnly final : public ContentError
{
public:
    using ContentError::ContentError;
};

} // namespace corvane
