// The trail: hot, shimmering air. It shows the copy of the frame in tex0 at
// its own screen position, bent by its normal and by ripples that run along it
// with "time", and fades out toward its far end and its silhouette.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform vec2 iResolution;
uniform float time;
uniform float factorPix;
uniform float factorTex;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    float facing = abs(dot(n, v));
    // v is 1 at the object, 0 at the far end (the file's v is flipped on load).
    float near = clamp(uv.y, 0.0, 1.0);
    float ripple = sin(uv.y * 40.0 + time * 30.0) * 0.6 + sin(uv.x * 6.2832 * 3.0 - time * 17.0) * 0.4;
    vec2 screen = gl_FragCoord.xy * factorPix / max(iResolution, vec2(1.0)) * factorTex;
    vec2 bend = n.xy * (0.05 + 0.03 * ripple) * (0.3 + 0.7 * near);
    vec3 seen = texture2D(tex0, clamp(screen + bend, 0.0, 1.0)).rgb;
    vec3 heat = seen * vec3(1.18, 1.04, 0.92) + vec3(0.10, 0.05, 0.01) * near * (0.6 + 0.4 * ripple);
    // Seen edge-on the hot air is thickest: keep it there, fade it out at the far end.
    float alpha = smoothstep(0.0, 0.3, near) * (0.45 + 0.4 * near) * (1.0 - 0.4 * facing);
    gl_FragColor = vec4(heat, alpha);
}
