// Full-screen grading pass: texture coordinates plus the position centred on
// the screen (-1..1), used for vignetting and lens effects.
attribute vec3 PosAttribute;
attribute vec2 TexAttribute;
varying vec2 uv;
varying vec2 screen;

void main()
{
    gl_Position = vec4(PosAttribute, 1.0);
    uv = TexAttribute;
    screen = PosAttribute.xy;
}
