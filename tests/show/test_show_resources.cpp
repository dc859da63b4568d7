// The show's resource table as start-up loads it: exactly the shader rows
// whose programs read PosAttribute (asked of the GL) are flagged as
// full-screen post programs, and each has the post attributes bound.
#include "show/show_local.h"
#include "support/gl_context.h"
#include "support/show_data.h"
#include <GL/glew.h>
#include <gtest/gtest.h>

TEST(ShowResources, EveryFullScreenProgramIsFlaggedAndBound)
{
    ASSERT_TRUE(loadShowData(96, 54));
    int flagged = 0;
    for (const ResourceEntry* row = resourceTable; row->object; row++) {
        if (row->kind != ShaderRow) continue;
        GLuint program = (GLuint) * (int*)row->object;
        ASSERT_GT((int)program, 0) << row->spec;
        int post = glGetAttribLocation(program, "PosAttribute") != -1;
        EXPECT_EQ(post, (row->flags & PostProgramRow) != 0) << row->spec;
        if (!post) continue;
        flagged++;
        EXPECT_EQ(glGetAttribLocation(program, "PosAttribute"), 0) << row->spec;
        EXPECT_EQ(glGetAttribLocation(program, "TexAttribute"), 1) << row->spec;
    }
    // bokeh, colour correction with and without gamma, lomo grading plain and
    // with either correction, drunk
    EXPECT_EQ(flagged, 7);
}
