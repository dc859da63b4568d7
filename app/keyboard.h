// The keyboard: the GLFW key callback, the tweak-camera mode in which an
// author flies the live camera by hand, and Enter, which records that camera
// as a key line. Keys that act on the frame on screen (Enter, the transport)
// wait for the loop to hand that frame over.
#pragma once

struct GLFWwindow;
struct Camera;
struct ShowFrame;

void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
// Applies the keys pressed since the last call that act on shown (the frame
// on screen): Enter records the camera (logged, appended to
// "camera_keys.txt" in the working directory), transport keys move the clock.
void applyFrameKeys(const ShowFrame* shown);
// Writes the camera as one entry of a scene's CameraKey table,
// "{x, y, z, yaw, pitch, roll, near, far, fov},  // scene N at T s", angles in
// degrees, every number with the fewest digits that read back as the same
// float. Returns the length, or 0 (out empty when size > 0) when it does not
// fit in size bytes with its terminator, a value is not finite or an argument
// is null.
int formatCameraKey(const Camera* cam, int scene, float time, char* out, int size);
