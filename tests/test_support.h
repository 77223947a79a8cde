// Small helpers shared by the test suites.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/text.h"
#include "engine/engine_error.h"

// Expects `call` to throw kosmara::Error with exactly `message`.
#define EXPECT_ERROR_MESSAGE(call, expected)                                                 \
    do {                                                                                     \
        try {                                                                                \
            (void)(call);                                                                    \
            ADD_FAILURE() << "no error from " #call;                                         \
        } catch (const ::kosmara::Error& error) {                                            \
            EXPECT_EQ(::kosmara::ToUtf8(error.message()), ::kosmara::ToUtf8(expected));      \
        }                                                                                    \
    } while (false)

// Expects `call` to throw kosmara::EngineError with the code `expectedCode`.
#define EXPECT_ENGINE_ERROR(call, expectedCode)                                                         \
    do {                                                                                                \
        try {                                                                                           \
            (void)(call);                                                                               \
            ADD_FAILURE() << "no error from " #call;                                                    \
        } catch (const ::kosmara::EngineError& error) {                                                 \
            EXPECT_EQ(static_cast<int>(error.code()), static_cast<int>(expectedCode)) << error.what(); \
        }                                                                                               \
    } while (false)
