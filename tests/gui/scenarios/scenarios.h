// The scenarios of gui_driver, one file each; every one is a GoogleTest body (its
// failed assertions fail the run) and runs the packager from its own installation
// folder of `s`.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

void Captions(const Setup& s, const std::string& language);
void List(const Setup& s);
void Many(const Setup& s);
void Mouse(const Setup& s);
void Build(const Setup& s);
void Failure(const Setup& s);
void Update(const Setup& s, const std::string& expect, const std::string& version, const std::string& fixed,
            const std::string& whatsnew, const std::string& language);
void EarlyClose(const Setup& s);
void WorkFolder(const Setup& s);
void Screenshot(const Setup& s, const std::string& output);

}  // namespace vx::test::gui
