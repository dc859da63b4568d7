// The sky dome's picture as it is (skybox.jpg and skybox2.jpg: opaque
// equirectangular pictures, u round the horizon, v pole to pole). Medium
// precision is enough to address a texel of the 1024-texel picture.
precision mediump float;
uniform sampler2D tex0;
varying vec2 uv;

void main() { gl_FragColor = texture2D(tex0, uv); }
