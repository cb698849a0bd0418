#pragma once

#include "support/LiveDesktop.h"

#include <gtest/gtest.h>
#include <memory>

// A session of the real binary on one of the four desktops a user may have around it
// (LiveDesktop::desks(), the test's parameter), started before each test and ended
// after it. `Session` is the fixture that starts the server and the application.
template <class Session>
class LiveSession : public Session, public ::testing::WithParamInterface<LiveDesktop::Options> {
protected:
    void SetUp() override {
        Session::SetUp();
        if (this->IsSkipped() || this->HasFatalFailure()) return;
        m_desk = std::make_unique<LiveDesktop>(this->m_server);
        if (!m_desk->start(this->GetParam())) GTEST_SKIP() << m_desk->errorString().toStdString();
    }
    void TearDown() override {
        Session::TearDown();
        m_desk.reset();
    }

    std::unique_ptr<LiveDesktop> m_desk;
};
