// The floor for a held-key auto-record: grab the screen with MIT-SHM, encode, write, again,
// with no program around it. Prints milliseconds per frame, of wall time, then of this process's
// CPU time (user and system).
//   capture_floor bmp|jpg QUALITY FRAMES FOLDER
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// jpeglib.h wants FILE declared first.
#include <jpeglib.h>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: capture_floor bmp|jpg QUALITY FRAMES FOLDER\n");
    return 2;
  }
  const std::string format = argv[1];
  const int quality = std::atoi(argv[2]);
  const int frames = std::atoi(argv[3]);
  const std::string folder = argv[4];

  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr)
    return 1;
  const int screen = DefaultScreen(d);
  const int width = DisplayWidth(d, screen);
  const int height = DisplayHeight(d, screen);
  XShmSegmentInfo segment{};
  XImage* image = XShmCreateImage(d, DefaultVisual(d, screen), DefaultDepth(d, screen), ZPixmap,
                                  nullptr, &segment, width, height);
  segment.shmid = shmget(IPC_PRIVATE, image->bytes_per_line * height, IPC_CREAT | 0600);
  segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
  XShmAttach(d, &segment);
  shmctl(segment.shmid, IPC_RMID, nullptr);

  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  std::vector<unsigned char> file(54 + stride * height);
  const auto cpu_now = [] {
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    return (used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1e3 +
           (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e3;
  };
  const double cpu_start = cpu_now();
  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < frames; ++frame) {
    XShmGetImage(d, DefaultRootWindow(d), image, 0, 0, AllPlanes);
    std::size_t size = 0;
    unsigned char* data = file.data();
    unsigned char* jpeg = nullptr;
    unsigned long jpeg_size = 0;
    if (format == "bmp") {
      for (int y = 0; y < height; ++y) {
        std::memcpy(file.data() + 54 + stride * (height - 1 - y),
                    image->data + static_cast<std::size_t>(y) * image->bytes_per_line, stride);
      }
      size = file.size();
    } else {
      jpeg_compress_struct cinfo;
      jpeg_error_mgr errors;
      cinfo.err = jpeg_std_error(&errors);
      jpeg_create_compress(&cinfo);
      jpeg_mem_dest(&cinfo, &jpeg, &jpeg_size);
      cinfo.image_width = width;
      cinfo.image_height = height;
      cinfo.input_components = 4;
      cinfo.in_color_space = JCS_EXT_BGRX;
      jpeg_set_defaults(&cinfo);
      jpeg_set_quality(&cinfo, quality, TRUE);
      jpeg_start_compress(&cinfo, TRUE);
      for (int y = 0; y < height; ++y) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(image->data + y * image->bytes_per_line);
        jpeg_write_scanlines(&cinfo, &row, 1);
      }
      jpeg_finish_compress(&cinfo);
      jpeg_destroy_compress(&cinfo);
      data = jpeg;
      size = jpeg_size;
    }
    const std::string path = folder + "/" + std::to_string(frame) + "." + format;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
      return 1;
    close(fd);
    std::free(jpeg);
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.2f %.2f\n", ms / frames, (cpu_now() - cpu_start) / frames);
  XShmDetach(d, &segment);
  XCloseDisplay(d);
  return 0;
}
