#include "thread_setting.h"

namespace korvplus {

ThreadSetting parseThreadSetting(const char* value, int32_t defaultThreads) {
    ThreadSetting setting;
    setting.threads = defaultThreads < 1 ? 1 : defaultThreads;
    if (value == nullptr || *value == '\0') return setting;
    int64_t number = 0;
    bool valid = true;
    for (const char* c = value; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            valid = false;
            break;
        }
        number = number * 10 + (*c - '0');
        if (number > kMaxThreads) {
            valid = false;
            break;
        }
    }
    if (!valid || number < 1) {
        setting.error = std::string(kThreadsVariable) + "=\"" + value + "\": the number of threads must be an integer from 1 to " +
                        std::to_string(kMaxThreads);
        return setting;
    }
    setting.threads = int32_t(number);
    return setting;
}

}  // namespace korvplus
