// Full-screen post pass: clip-space quad in, texture coordinates out.
attribute vec3 PosAttribute;
attribute vec2 TexAttribute;
varying vec2 TexCoord0;

void main()
{
    gl_Position = vec4(PosAttribute, 1.0);
    TexCoord0 = TexAttribute;
}
