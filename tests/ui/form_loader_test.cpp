#include "ui/form_loader.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(FormLoader, Placeholder) {
    SUCCEED();
}

}  // namespace
}  // namespace ui
