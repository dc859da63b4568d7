// An unlit textured surface: its picture as it is. The sky domes
// (skybox.jpg, skybox2.jpg: opaque equirectangular pictures) and the
// kaleidoscope's wedge (the frame drawn so far, opaque). Medium precision,
// as the built-in program drew them: the same pixels, and enough to address
// a texel of a 1024-texel picture.
precision mediump float;
uniform sampler2D tex0;
varying vec2 uv;

void main() { gl_FragColor = texture2D(tex0, uv); }
